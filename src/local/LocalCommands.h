#pragma once

#include "LocalEnvironment.h"

#include <QObject>

class JobRunner;
class LocalPane;
class QWidget;
class UploadCommands;

// What the local commands do. Each reads its inputs from the pane when it starts (the current
// folder, the selected rows) and shows its result in the pane.
class LocalCommands : public QObject
{
    Q_OBJECT

public:
    LocalCommands(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window);

    void refresh();
    void refreshFromMenu();

    // The uploads (UploadCommands): the main menu's and the toolbar's, the context menu's, and
    // one file under a new name.
    void upload();
    void uploadFromMenu();
    void uploadAs();
    UploadCommands& uploads() const { return *m_uploads; }

private:
    LocalPane& m_pane;
    JobRunner& m_runner;
    LocalEnvironment m_environment;
    QWidget* m_window;
    UploadCommands* m_uploads;
};
