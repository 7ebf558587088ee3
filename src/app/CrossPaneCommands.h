#pragma once

#include <QObject>

class MainWindow;
class PaneComparison;
class SyncBrowsing;

// What works across the two panes: drops of one pane's rows (or the desktop's files) onto the
// other run its upload or download command, the folder comparison with its settings, and
// synchronized browsing. The main menu's "Ansicht" entries and two toolbar buttons switch them.
class CrossPaneCommands : public QObject
{
    Q_OBJECT

public:
    // After the window has made its panes, actions, menu and connection commands.
    explicit CrossPaneCommands(MainWindow& window);

    PaneComparison& comparison() const { return *m_comparison; }
    SyncBrowsing& syncBrowsing() const { return *m_sync; }

private:
    void connectDrops();
    void connectToggles();
    void addToolbarButtons();

    MainWindow& m_window;
    PaneComparison* m_comparison;
    SyncBrowsing* m_sync;
};
