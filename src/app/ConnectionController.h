#pragma once

#include "ConnectionJobs.h"

#include <QObject>
#include <QTimer>

#include <functional>

class ConnectionBar;
class JobRunner;
class TransferHistory;
class QWidget;

// The connection commands of the main window: connect (menu, toolbar, Enter in the password
// field), re-connect, the one-second connection watch and the no-connection guard.
class ConnectionController : public QObject
{
    Q_OBJECT

public:
    // returnFolder gives the server folder a re-connection returns to: the one the remote pane shows.
    ConnectionController(JobRunner& runner, ConnectionBar& bar, TransferHistory& history, QWidget* window,
                         std::function<QString()> returnFolder);

    void connectToServer(ConnectVariant variant);
    // Queues a re-connection with the connection bar's current values; it returns to the folder
    // the remote pane shows.
    void reconnect();

    QTimer& watch() { return m_watch; }
    void watchConnection();
    void stopWatch() { m_watch.stop(); }

Q_SIGNALS:
    // Before a connect attempt talks to the server: the remote list empties.
    void connectStarted();
    // A connect attempt succeeded: the remote folder is to be listed.
    void connected();

private:
    JobRunner& m_runner;
    ConnectionBar& m_bar;
    TransferHistory& m_history;
    QWidget* m_window;
    std::function<QString()> m_returnFolder;
    QTimer m_watch;
    bool m_checking = false;
};
