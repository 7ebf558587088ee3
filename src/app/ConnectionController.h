#pragma once

#include "ConnectionJobs.h"

#include <QObject>
#include <QTimer>

class ConnectionBar;
class SessionRunner;
class TransferHistory;
class QWidget;

// The connection commands of the main window: connect (menu, toolbar, Enter in the password
// field), re-connect, the one-second connection watch and the no-connection guard.
class ConnectionController : public QObject
{
    Q_OBJECT

public:
    ConnectionController(SessionRunner& runner, ConnectionBar& bar, TransferHistory& history, QWidget* window);

    void connectToServer(ConnectVariant variant);
    // Queues a re-connection with the connection bar's current values.
    void reconnect();
    // False, after the no-connection message, when there is no connection.
    bool requireConnection();

    QTimer& watch() { return m_watch; }
    void watchConnection();
    void stopWatch() { m_watch.stop(); }

Q_SIGNALS:
    // Before a connect attempt talks to the server: the remote list empties.
    void connectStarted();
    // A connect attempt succeeded: the remote folder is to be listed.
    void connected();

private:
    SessionRunner& m_runner;
    ConnectionBar& m_bar;
    TransferHistory& m_history;
    QWidget* m_window;
    QTimer m_watch;
    bool m_checking = false;
};
