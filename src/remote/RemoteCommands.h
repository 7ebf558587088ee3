#pragma once

#include "RemoteEnvironment.h"

#include <QObject>

class JobRunner;
class RemotePane;
class QWidget;

// What the remote commands do. Each reads its inputs from the pane and the environment when it
// starts (the rows, the folder the pane shows, the connection values), runs the work that talks
// to the server as jobs, and brings the panes up to date when they have ended. Every command
// starts in the folder the pane shows, so the pane and the session never disagree.
class RemoteCommands : public QObject
{
    Q_OBJECT

public:
    RemoteCommands(RemotePane& pane, JobRunner& runner, RemoteEnvironment environment, QWidget* window);

    // DownloadSelection into the local pane's folder; the local pane shows it afterwards.
    void download();
    void refresh();
    void up();

Q_SIGNALS:
    // A download has ended and the local pane shows its target folder.
    void downloadFinished();

private:
    // Re-connects when the connection is gone and returns to the folder the pane shows.
    void reconnectToPaneFolder();

    RemotePane& m_pane;
    JobRunner& m_runner;
    RemoteEnvironment m_environment;
    QWidget* m_window;
};
