#pragma once

#include <QList>
#include <QTimer>
#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class QSortFilterProxyModel;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QTreeView;
class QueueProcessor;
class TransferQueue;

// The commands of the queue pane, on the selected rows of the shown tab.
enum class QueueCommand {
    Remove,     // Delete
    MoveUp,     // Ctrl+Up
    MoveDown,   // Ctrl+Down
    Requeue,    // failed rows wait again (Ctrl+R)
    RequeueAll, // every failed item waits again (Ctrl+Shift+R)
    Process,    // process the queue
};

// The transfer queue as the user sees it: three tabs (waiting and running items, failed ones with
// their reasons, finished ones), each a table of local path, direction, remote path, size,
// progress and reason; the commands in a context menu and on keys; the number of transfers that
// run at once.
class QueuePane : public QWidget
{
    Q_OBJECT

public:
    enum Tab { QueueTab, FailedTab, DoneTab, TabCount };

    QueuePane(TransferQueue& queue, QueueProcessor& processor, QWidget* parent = nullptr);

    // Sets the captions from the text catalogue.
    void retranslate();

    QTabWidget* tabs() const { return m_tabs; }
    QTreeView* view(Tab tab) const { return m_views[tab]; }
    QTreeView* currentView() const;
    QAction* action(QueueCommand command) const;
    QMenu* contextMenu() const { return m_menu; }
    QSpinBox* parallel() const { return m_parallel; }
    QSpinBox* retries() const { return m_retries; }
    QSpinBox* retryDelay() const { return m_retryDelay; }
    // The ids of the selected rows of the shown tab, in queue order.
    QList<qint64> selectedIds() const;

    void run(QueueCommand command);
    // Moves the items whose state changed to their tabs now, not at the next quarter second.
    void refilter();

private:
    void updateActions();
    void showContextMenu(const QPoint& position);

    TransferQueue& m_queue;
    QueueProcessor& m_processor;
    QTabWidget* m_tabs;
    QTreeView* m_views[TabCount] = {};
    QSortFilterProxyModel* m_filters[TabCount] = {};
    QList<QAction*> m_actions; // in the order of QueueCommand
    QMenu* m_menu;
    QLabel* m_parallelLabel;
    QSpinBox* m_parallel;
    QLabel* m_retriesLabel;
    QSpinBox* m_retries;
    QLabel* m_retryDelayLabel;
    QSpinBox* m_retryDelay;
    QToolButton* m_processButton;
    QTimer m_refilter;
};
