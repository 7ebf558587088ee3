#pragma once

#include "AppCommand.h"
#include "RemoteIconStore.h"

#include <QMainWindow>

#include <memory>

class ConnectionBar;
class ConnectionController;
class CrossPaneCommands;
class LocalActions;
class LocalPane;
class MainMenu;
class PeerDecisions;
class QueuePane;
class QueueProcessor;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;
class RemoteActions;
class RemotePane;
class SessionRunner;
class SiteCommands;
class TransferHistory;
class TransferQueue;
class TransferStatus;
class TransferTypeSelector;

// The frame of the program: it composes the connection bar, the menus, the three child windows
// and the progress bar, and carries out its own commands (connect, transfer type, passive mode,
// home page, About, Exit). The panes' commands are their actions'.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    ConnectionBar* connectionBar() const { return m_bar; }
    MainMenu* mainMenu() const { return m_menu; }
    TransferHistory* history() const { return m_history; }
    LocalPane* localPane() const { return m_local; }
    RemotePane* remotePane() const { return m_remote; }
    // Sets the passive switch as the menu's entries do: the box, the entries and a history line.
    void setPassive(bool passive);
    LocalActions* localActions() const { return m_localActions; }
    RemoteActions* remoteActions() const { return m_remoteActions; }
    QMdiArea* mdiArea() const { return m_mdi; }
    QProgressBar* progressBar() const { return m_progress; }
    SessionRunner* runner() const { return m_runner; }
    ConnectionController* connection() const { return m_connection; }
    TransferTypeSelector* transferType() const { return m_transferType; }
    TransferQueue* queue() const { return m_queue; }
    QueueProcessor* queueProcessor() const { return m_processor; }
    QueuePane* queuePane() const { return m_queuePane; }
    SiteCommands* sites() const { return m_sites; }
    CrossPaneCommands* crossPane() const { return m_crossPane; }

    // Places the child windows by the layout rules.
    void arrangeChildWindows();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMdiSubWindow* addChild(QWidget* widget);
    void createActions();
    // The transfer queue, read from its store, with its workers and its pane.
    void createQueue();
    // The history line that says what became of the stored queue, when it was not read as it was.
    void reportQueueStore(int opened);
    void retranslate();
    void wireCommands();
    // Stops the running work and drops what waits; a connection it had is made again.
    void stop();
    void passiveChanged(bool passive);
    void showProgress(qint64 done, qint64 total);
    // The bar and the status line go when neither the session nor the queue works.
    void workEnded();

    SessionRunner* m_runner;
    RemoteIconStore m_remoteIcons; // the remote pictures live for the whole run
    ConnectionBar* m_bar;
    QMdiArea* m_mdi;
    LocalPane* m_local;
    RemotePane* m_remote;
    TransferHistory* m_history;
    QProgressBar* m_progress;
    TransferStatus* m_transferStatus;
    QMdiSubWindow* m_localWindow;
    QMdiSubWindow* m_remoteWindow;
    QMdiSubWindow* m_historyWindow;
    QMdiSubWindow* m_queueWindow = nullptr;
    std::shared_ptr<PeerDecisions> m_decisions;
    TransferQueue* m_queue = nullptr;
    QueueProcessor* m_processor = nullptr;
    QueuePane* m_queuePane = nullptr;
    LocalActions* m_localActions = nullptr;
    RemoteActions* m_remoteActions = nullptr;
    MainMenu* m_menu = nullptr;
    TransferTypeSelector* m_transferType = nullptr;
    ConnectionController* m_connection = nullptr;
    SiteCommands* m_sites = nullptr;
    CrossPaneCommands* m_crossPane = nullptr;
};
