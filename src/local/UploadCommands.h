#pragma once

#include "LocalEnvironment.h"
#include "UploadJob.h"

#include <QObject>

class JobRunner;
class LocalPane;
class QWidget;

// The upload commands of the local pane: the selection into the folder the remote pane shows,
// and one file under a new name. Each reads the pane, the environment and the ASCII list when it
// starts, runs the transfer as a job and has the remote pane list its folder again afterwards.
class UploadCommands : public QObject
{
    Q_OBJECT

public:
    UploadCommands(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window);

    // UploadSelection (Main) and UploadSelectionFromMenu (ContextMenu).
    void upload(UploadVariant variant);
    // Shows the upload-as dialog for the one selected file, and uploads when it is confirmed.
    void uploadAs();

Q_SIGNALS:
    // An upload has ended (and the remote pane was asked to list its folder, if anything was done).
    void uploadFinished();

private:
    UploadRequest makeRequest(UploadVariant variant) const;
    void start(UploadRequest request, std::function<UploadResult(UploadJob&)> work);

    LocalPane& m_pane;
    JobRunner& m_runner;
    LocalEnvironment m_environment;
    QWidget* m_window;
};
