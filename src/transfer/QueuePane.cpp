#include "QueuePane.h"

#include "QueueProcessor.h"
#include "TextCatalogue.h"
#include "TransferQueue.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

struct TabTexts {
    const char* objectName;
    const char* title;
    const char* description;
    // The states the tab shows, first to last.
    TransferState firstState;
    TransferState lastState;
};

const TabTexts tabTexts[QueuePane::TabCount] = {
    {"lsvQueue", "QUEUE_TAB_QUEUE", "DESC_QUEUE_QUEUE", TransferState::Queued, TransferState::Running},
    {"lsvFailed", "QUEUE_TAB_FAILED", "DESC_QUEUE_FAILED", TransferState::Failed, TransferState::Failed},
    {"lsvDone", "QUEUE_TAB_DONE", "DESC_QUEUE_DONE", TransferState::Done, TransferState::Done},
};

// A tab's rows: the items in its states. Items move between the tabs when the pane refilters, not
// as each one ends: every move re-laid out the whole list, which with many small files took more
// time than their transfers.
class StateFilter : public QSortFilterProxyModel
{
public:
    StateFilter(const TabTexts& tab, QObject* parent)
        : QSortFilterProxyModel(parent)
        , m_first(static_cast<int>(tab.firstState))
        , m_last(static_cast<int>(tab.lastState))
    {
        setDynamicSortFilter(false);
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const int state = sourceModel()->index(row, 0, parent).data(TransferQueue::StateRole).toInt();
        return state >= m_first && state <= m_last;
    }

private:
    int m_first;
    int m_last;
};

// How often items move between the tabs while the queue runs.
constexpr int refilterMilliseconds = 250;

struct CommandTexts {
    const char* objectName;
    const char* caption;
    QKeySequence key;
};

const CommandTexts commandTexts[] = {
    {"mnuQueueRemove", "QUEUE_REMOVE", QKeySequence(Qt::Key_Delete)},
    {"mnuQueueUp", "QUEUE_UP", QKeySequence(Qt::CTRL | Qt::Key_Up)},
    {"mnuQueueDown", "QUEUE_DOWN", QKeySequence(Qt::CTRL | Qt::Key_Down)},
    {"mnuQueueRequeue", "QUEUE_REQUEUE", QKeySequence(Qt::CTRL | Qt::Key_R)},
    {"mnuQueueRequeueAll", "QUEUE_REQUEUEALL", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)},
    // F9 is the main menu's, which reaches it from everywhere.
    {"mnuQueueProcess", "QUEUE_PROCESS", QKeySequence()},
};

} // namespace

QueuePane::QueuePane(TransferQueue& queue, QueueProcessor& processor, QWidget* parent)
    : QWidget(parent)
    , m_queue(queue)
    , m_processor(processor)
    , m_tabs(new QTabWidget(this))
    , m_menu(new QMenu(this))
    , m_parallelLabel(new QLabel(this))
    , m_parallel(new QSpinBox(this))
    , m_retriesLabel(new QLabel(this))
    , m_retries(new QSpinBox(this))
    , m_retryDelayLabel(new QLabel(this))
    , m_retryDelay(new QSpinBox(this))
    , m_processButton(new QToolButton(this))
{
    setObjectName(QStringLiteral("frmQueue"));
    m_tabs->setObjectName(QStringLiteral("tabQueue"));
    for (int tab = 0; tab < TabCount; ++tab) {
        auto* filter = new StateFilter(tabTexts[tab], this);
        filter->setSourceModel(&m_queue);
        auto* view = new QTreeView;
        view->setObjectName(QLatin1String(tabTexts[tab].objectName));
        view->setModel(filter);
        view->setRootIsDecorated(false);
        view->setUniformRowHeights(true);
        view->setAllColumnsShowFocus(true);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->header()->setStretchLastSection(true);
        view->setColumnWidth(TransferQueue::LocalColumn, 200);
        view->setColumnWidth(TransferQueue::DirectionColumn, 80);
        view->setColumnWidth(TransferQueue::RemoteColumn, 200);
        view->setColumnWidth(TransferQueue::SizeColumn, 60);
        view->setColumnWidth(TransferQueue::ProgressColumn, 60);
        // Long paths lose their middle, where folders repeat, not their file names.
        view->setTextElideMode(Qt::ElideMiddle);
        connect(view, &QWidget::customContextMenuRequested, this, &QueuePane::showContextMenu);
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &QueuePane::updateActions);
        m_filters[tab] = filter;
        m_views[tab] = view;
        m_tabs->addTab(view, QString());
    }
    connect(m_tabs, &QTabWidget::currentChanged, this, &QueuePane::updateActions);
    m_refilter.setSingleShot(true);
    m_refilter.setInterval(refilterMilliseconds);
    connect(&m_refilter, &QTimer::timeout, this, &QueuePane::refilter);
    // A state changed (not only the progress): the item may belong to another tab now.
    connect(&m_queue, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex& to) {
        if ((from.column() != TransferQueue::ProgressColumn || to.column() != TransferQueue::ProgressColumn)
            && !m_refilter.isActive())
            m_refilter.start();
    });

    for (const CommandTexts& texts : commandTexts) {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(texts.objectName));
        action->setShortcut(texts.key);
        // The keys work wherever the focus is inside the pane.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        const auto command = static_cast<QueueCommand>(m_actions.size());
        connect(action, &QAction::triggered, this, [this, command] { run(command); });
        addAction(action);
        m_actions.append(action);
    }
    m_menu->setObjectName(QStringLiteral("mnuQueue"));
    m_menu->addAction(action(QueueCommand::Remove));
    m_menu->addSeparator();
    m_menu->addAction(action(QueueCommand::MoveUp));
    m_menu->addAction(action(QueueCommand::MoveDown));
    m_menu->addSeparator();
    m_menu->addAction(action(QueueCommand::Requeue));
    m_menu->addAction(action(QueueCommand::RequeueAll));
    m_menu->addSeparator();
    m_menu->addAction(action(QueueCommand::Process));

    m_parallel->setObjectName(QStringLiteral("spnParallel"));
    m_parallel->setRange(TransferQueue::minimumParallel, TransferQueue::maximumParallel);
    m_parallel->setValue(m_queue.parallel());
    m_parallelLabel->setBuddy(m_parallel);
    connect(m_parallel, &QSpinBox::valueChanged, &m_processor, &QueueProcessor::setParallel);
    const RetrySettings retry = m_queue.retrySettings();
    m_retries->setObjectName(QStringLiteral("spnRetries"));
    m_retries->setRange(0, RetrySettings::maximumRetries);
    m_retries->setValue(retry.retries);
    m_retriesLabel->setBuddy(m_retries);
    m_retryDelay->setObjectName(QStringLiteral("spnRetryDelay"));
    m_retryDelay->setRange(0, RetrySettings::maximumDelaySeconds);
    m_retryDelay->setValue(retry.delaySeconds);
    m_retryDelay->setSuffix(QStringLiteral(" s"));
    m_retryDelayLabel->setBuddy(m_retryDelay);
    // Each item takes the settings of the moment it starts.
    const auto retryChanged = [this] { m_queue.setRetrySettings({m_retries->value(), m_retryDelay->value()}); };
    connect(m_retries, &QSpinBox::valueChanged, this, retryChanged);
    connect(m_retryDelay, &QSpinBox::valueChanged, this, retryChanged);
    m_processButton->setObjectName(QStringLiteral("cmdQueueProcess"));
    m_processButton->setDefaultAction(action(QueueCommand::Process));
    m_processButton->setToolButtonStyle(Qt::ToolButtonTextOnly);

    // The controls get two rows of their own above the tabs: beside the tabs, or in one row, in a
    // pane half the window wide, they covered the tabs or cut their own captions.
    auto* controls = new QWidget;
    controls->setObjectName(QStringLiteral("fraQueueControls"));
    auto* rows = new QVBoxLayout(controls);
    rows->setContentsMargins(2, 0, 2, 0);
    rows->setSpacing(2);
    auto* first = new QHBoxLayout;
    first->addWidget(m_processButton);
    first->addSpacing(8);
    first->addWidget(m_parallelLabel);
    first->addWidget(m_parallel);
    first->addStretch(1);
    auto* second = new QHBoxLayout;
    second->addWidget(m_retriesLabel);
    second->addWidget(m_retries);
    second->addSpacing(8);
    second->addWidget(m_retryDelayLabel);
    second->addWidget(m_retryDelay);
    second->addStretch(1);
    rows->addLayout(first);
    rows->addLayout(second);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(controls);
    layout->addWidget(m_tabs, 1);

    connect(&m_queue, &QAbstractItemModel::dataChanged, this, &QueuePane::updateActions);
    connect(&m_queue, &QAbstractItemModel::rowsRemoved, this, &QueuePane::updateActions);
    retranslate();
    updateActions();
}

void QueuePane::retranslate()
{
    const QString caption = getText("QUEUE_CAPTION");
    setWindowTitle(caption);
    m_tabs->setAccessibleName(caption);
    m_tabs->setAccessibleDescription(getText("DESC_QUEUE"));
    for (int tab = 0; tab < TabCount; ++tab) {
        const QString title = getText(tabTexts[tab].title);
        m_tabs->setTabText(tab, title);
        m_views[tab]->setAccessibleName(title);
        m_views[tab]->setAccessibleDescription(getText(tabTexts[tab].description));
    }
    for (int at = 0; at < m_actions.size(); ++at) {
        const QString text = getText(commandTexts[at].caption);
        m_actions[at]->setText(text);
        m_actions[at]->setToolTip(QString(text).remove(QLatin1Char('&')));
    }
    m_parallelLabel->setText(getText("QUEUE_PARALLEL"));
    m_parallel->setAccessibleName(getText("QUEUE_PARALLEL").remove(QLatin1Char('&')));
    m_parallel->setAccessibleDescription(getText("DESC_QUEUE_PARALLEL"));
    m_retriesLabel->setText(getText("QUEUE_RETRIES"));
    m_retries->setAccessibleName(getText("QUEUE_RETRIES").remove(QLatin1Char('&')));
    m_retries->setAccessibleDescription(getText("DESC_QUEUE_RETRIES"));
    m_retryDelayLabel->setText(getText("QUEUE_RETRYDELAY"));
    m_retryDelay->setAccessibleName(getText("QUEUE_RETRYDELAY").remove(QLatin1Char('&')));
    m_retryDelay->setAccessibleDescription(getText("DESC_QUEUE_RETRYDELAY"));
    m_processButton->setAccessibleDescription(getText("DESC_QUEUE_PROCESS"));
    m_queue.retranslate();
}

void QueuePane::refilter()
{
    m_refilter.stop();
    // The selection stays on the rows that stay.
    for (QSortFilterProxyModel* filter : m_filters)
        filter->invalidate();
    updateActions();
}

QTreeView* QueuePane::currentView() const
{
    return m_views[std::clamp(m_tabs->currentIndex(), 0, TabCount - 1)];
}

QAction* QueuePane::action(QueueCommand command) const
{
    return m_actions.at(static_cast<qsizetype>(command));
}

QList<qint64> QueuePane::selectedIds() const
{
    QList<QPair<int, qint64>> rows;
    for (const QModelIndex& index : currentView()->selectionModel()->selectedRows())
        rows.append({index.row(), index.data(TransferQueue::IdRole).toLongLong()});
    std::sort(rows.begin(), rows.end());
    QList<qint64> ids;
    for (const auto& row : std::as_const(rows))
        ids.append(row.second);
    return ids;
}

void QueuePane::run(QueueCommand command)
{
    const QList<qint64> ids = selectedIds();
    switch (command) {
    case QueueCommand::Remove:
        m_processor.remove(ids);
        break;
    case QueueCommand::MoveUp:
        m_queue.moveUp(ids);
        break;
    case QueueCommand::MoveDown:
        m_queue.moveDown(ids);
        break;
    case QueueCommand::Requeue:
        m_processor.requeue(ids);
        break;
    case QueueCommand::RequeueAll:
        m_processor.requeueAllFailed();
        break;
    case QueueCommand::Process:
        m_processor.process();
        break;
    }
    // The moved rows stay in view.
    if (command == QueueCommand::MoveUp || command == QueueCommand::MoveDown) {
        const QModelIndexList selected = currentView()->selectionModel()->selectedRows();
        if (!selected.isEmpty())
            currentView()->scrollTo(selected.first());
    }
    updateActions();
}

void QueuePane::updateActions()
{
    const bool selection = currentView()->selectionModel()->hasSelection();
    const int tab = m_tabs->currentIndex();
    action(QueueCommand::Remove)->setEnabled(selection);
    action(QueueCommand::MoveUp)->setEnabled(selection && tab != DoneTab);
    action(QueueCommand::MoveDown)->setEnabled(selection && tab != DoneTab);
    action(QueueCommand::Requeue)->setEnabled(selection && tab == FailedTab);
    action(QueueCommand::RequeueAll)->setEnabled(m_filters[FailedTab]->rowCount() > 0);
}

void QueuePane::showContextMenu(const QPoint& position)
{
    updateActions();
    m_menu->popup(currentView()->viewport()->mapToGlobal(position));
}
