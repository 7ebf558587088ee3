#pragma once

#include "RemoteIconStore.h"

#include <QMainWindow>

#include <functional>

class ConnectionBar;
class ConnectionController;
class DownloadCommand;
class LocalPane;
class MainMenu;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;
class RemotePane;
class SessionRunner;
class TransferHistory;
class TransferTypeSelector;

// The frame of the program: connection bar, menus, the three child windows and the progress bar.
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
    QMdiArea* mdiArea() const { return m_mdi; }
    QProgressBar* progressBar() const { return m_progress; }
    SessionRunner* runner() const { return m_runner; }
    ConnectionController* connection() const { return m_connection; }
    TransferTypeSelector* transferType() const { return m_transferType; }
    DownloadCommand* download() const { return m_download; }

    // Places the child windows by the layout rules.
    void arrangeChildWindows();

    // The browser that opens the home page: the program registered for our index.html.
    void openHomepage();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMdiSubWindow* addChild(QWidget* widget);
    void retranslate();
    void wireMenu();
    void writeWelcome();
    void passiveChanged(bool passive);
    // Downloads the remote pane's selection into the local pane's folder, then re-connects.
    void downloadAndReconnect();
    void showProgress(qint64 done, qint64 total);
    // F6 and Shift+F6: the focus moves between the connection bar, the two panes and the history
    // (Tab stays inside a child window, as in every MDI window).
    void focusRegion(int step);
    // The "Mein Server" entries first make sure there is a connection.
    void connectGuarded(const char* actionName, std::function<void()> command);

    SessionRunner* m_runner;
    RemoteIconStore m_remoteIcons; // the remote pictures live for the whole run
    ConnectionBar* m_bar;
    MainMenu* m_menu;
    QMdiArea* m_mdi;
    LocalPane* m_local;
    RemotePane* m_remote;
    TransferHistory* m_history;
    QProgressBar* m_progress;
    QMdiSubWindow* m_localWindow;
    QMdiSubWindow* m_remoteWindow;
    QMdiSubWindow* m_historyWindow;
    TransferTypeSelector* m_transferType;
    ConnectionController* m_connection;
    DownloadCommand* m_download;
};
