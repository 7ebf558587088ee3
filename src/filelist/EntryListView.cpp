#include "EntryListView.h"

#include "CopyDropView.h"
#include "EntryListModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QTreeView>

#include <algorithm>

namespace {

// The column widths of the details view, in pixels.
constexpr int columnWidths[EntryListModel::ColumnCount] = {140, 50, 130, 120, 60};

} // namespace

EntryListView::EntryListView(EntryListModel* model, const QString& controlName, QWidget* parent)
    : QStackedWidget(parent)
    , m_detailView(new CopyDropView<QTreeView>(this))
    , m_iconView(new CopyDropView<QListView>(this))
{
    m_detailView->setObjectName(controlName);
    m_detailView->setModel(model);
    m_detailView->setRootIsDecorated(false);
    m_detailView->setItemsExpandable(false);
    m_detailView->setUniformRowHeights(true);
    m_detailView->setAllColumnsShowFocus(true);
    m_detailView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_detailView->setIconSize(QSize(16, 16));
    m_detailView->header()->setStretchLastSection(false);
    m_detailView->header()->setSectionsMovable(false);
    // The rows keep the listing's order: a click on a header sorts nothing.
    m_detailView->header()->setSectionsClickable(false);
    m_detailView->header()->setSortIndicatorShown(false);
    for (int column = 0; column < EntryListModel::ColumnCount; ++column)
        m_detailView->setColumnWidth(column, columnWidths[column]);

    m_iconView->setObjectName(controlName + QStringLiteral("Icons"));
    m_iconView->setModel(model);
    // One selection for both views, so that switching views keeps what the user selected.
    QItemSelectionModel* ownSelection = m_iconView->selectionModel();
    m_iconView->setSelectionModel(m_detailView->selectionModel());
    delete ownSelection;
    m_iconView->setUniformItemSizes(true);
    // Large folders are laid out in batches, so the list shows its first rows at once.
    m_iconView->setLayoutMode(QListView::Batched);
    m_iconView->setBatchSize(1000);

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_detailView),
                                    static_cast<QAbstractItemView*>(m_iconView)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->installEventFilter(this);
        enableDragAndDrop(view);
        // Double click and Enter.
        connect(view, &QAbstractItemView::activated, this,
                [this](const QModelIndex& index) { Q_EMIT rowActivated(index.row()); });
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
            Q_EMIT contextMenuRequested(view->viewport()->mapToGlobal(pos));
        });
    }
    addWidget(m_iconView);
    addWidget(m_detailView);
    setMode(Mode::Details);
    connect(model, &QAbstractItemModel::modelReset, this, &EntryListView::fitTextColumns);
    // The views show every row of a new listing.
    connect(model, &QAbstractItemModel::modelReset, this, [this] { m_hiddenRows.clear(); });
}

void EntryListView::enableDragAndDrop(QAbstractItemView* view)
{
    view->setDragEnabled(true);
    view->setAcceptDrops(true);
    view->viewport()->setAcceptDrops(true);
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setDefaultDropAction(Qt::CopyAction);
    view->setDropIndicatorShown(true);
    // Over a folder row the drop goes into that folder, not between rows.
    view->setDragDropOverwriteMode(true);
}

void EntryListView::setHiddenRows(const QList<int>& rows)
{
    for (const int row : std::as_const(m_hiddenRows)) {
        m_detailView->setRowHidden(row, QModelIndex(), false);
        m_iconView->setRowHidden(row, false);
    }
    m_hiddenRows = rows;
    for (const int row : rows) {
        m_detailView->setRowHidden(row, QModelIndex(), true);
        m_iconView->setRowHidden(row, true);
    }
}

QItemSelectionModel* EntryListView::selectionModel() const
{
    return m_detailView->selectionModel();
}

void EntryListView::setMode(Mode mode)
{
    m_mode = mode;
    const bool hadFocus = currentWidget() && currentWidget()->hasFocus();
    if (mode == Mode::Details) {
        setCurrentWidget(m_detailView);
    } else {
        applyIconMode();
        setCurrentWidget(m_iconView);
    }
    if (hadFocus)
        currentWidget()->setFocus();
}

void EntryListView::applyIconMode()
{
    const bool large = m_mode == Mode::LargeIcons;
    m_iconView->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_iconView->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    // Small icons run in rows like large ones; the list runs in columns.
    m_iconView->setFlow(m_mode == Mode::List ? QListView::TopToBottom : QListView::LeftToRight);
    m_iconView->setWordWrap(large);
    m_iconView->setGridSize(large ? QSize(96, 64) : m_mode == Mode::SmallIcons ? QSize(160, 20) : QSize());
    m_iconView->setWrapping(true);
    m_iconView->setMovement(QListView::Static);
    m_iconView->setResizeMode(QListView::Adjust);
    // A static layout switches dragging and dropping off; the rows still go to the other pane.
    enableDragAndDrop(m_iconView);
}

void EntryListView::fitTextColumns()
{
    const auto* model = static_cast<const EntryListModel*>(m_detailView->model());
    for (const auto column : {EntryListModel::SizeColumn, EntryListModel::ChangedColumn}) {
        // Sizes differ in their number of digits, times not at all, and digits share one width:
        // the longest text is the widest, and only it is measured.
        int longestRow = -1;
        qsizetype longest = 0;
        for (int row = 0; row < model->rowCount(); ++row) {
            const qsizetype length = model->text(row, column).size();
            if (length > longest) {
                longest = length;
                longestRow = row;
            }
        }
        if (longestRow < 0)
            continue;
        const int needed = m_detailView->sizeHintForIndex(model->index(longestRow, column)).width();
        if (needed > m_detailView->columnWidth(column))
            m_detailView->setColumnWidth(column, needed);
    }
}

void EntryListView::setAccessibleTexts(const QString& detailsName, const QString& iconsName,
                                       const QString& description)
{
    m_detailView->setAccessibleName(detailsName);
    m_iconView->setAccessibleName(iconsName);
    m_detailView->setAccessibleDescription(description);
    m_iconView->setAccessibleDescription(description);
}

QList<int> EntryListView::selectedRows() const
{
    // A row selected in the details view brings all its columns, one selected in the icon
    // views only its name; each row counts once.
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int EntryListView::currentRow() const
{
    return selectionModel()->currentIndex().row();
}

bool EntryListView::eventFilter(QObject* watched, QEvent* event)
{
    const bool isView = watched == m_detailView || watched == m_iconView;
    if (!isView || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return QStackedWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool ours = key->modifiers() == Qt::NoModifier && (key->key() == Qt::Key_Delete || key->key() == Qt::Key_F5);
    if (!ours)
        return QStackedWidget::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        // The list handles these keys itself while it has the focus, before any menu shortcut.
        event->accept();
        return true;
    }
    if (key->key() == Qt::Key_Delete)
        Q_EMIT deletePressed();
    else
        Q_EMIT refreshPressed();
    return true;
}
