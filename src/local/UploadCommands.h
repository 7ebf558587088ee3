#pragma once

#include "EntryDrag.h"
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
    // Rows dropped onto the remote pane: the upload of the main menu, of each group's rows from
    // its folder into the server folder remoteFolder.
    void uploadDropped(const QList<DraggedRows>& groups, const QString& remoteFolder);
    // The file at localPath (a copy of a remote file, edited in another program) back to
    // remoteName in remoteFolder, sent as upload-as sends its file; done runs when it has ended,
    // told whether the server took the file.
    void uploadCopy(const QString& localPath, const QString& remoteFolder, const QString& remoteName,
                    std::function<void(bool sent)> done);

Q_SIGNALS:
    // An upload has ended (and the remote pane was asked to list its folder, if anything was done).
    void uploadFinished();

private:
    UploadRequest makeRequest(UploadVariant variant) const;
    // False, after the no-connection message of variant, when there is no connection.
    bool requireConnection(UploadVariant variant) const;
    void start(UploadRequest request, std::function<UploadResult(UploadJob&)> work,
               std::function<void(bool sent)> done = {});

    LocalPane& m_pane;
    JobRunner& m_runner;
    LocalEnvironment m_environment;
    QWidget* m_window;
};
