#include "EntryListModel.h"

#include <QBrush>
#include <QMimeData>

#include <algorithm>

namespace {

// The colours of the marks, light enough for dark text; the words go with them.
QColor markColour(EntryMark mark)
{
    switch (mark) {
    case EntryMark::None:
        break;
    case EntryMark::OnlyHere:
        return QColor(255, 236, 150);
    case EntryMark::Newer:
        return QColor(190, 235, 190);
    case EntryMark::DifferentSize:
        return QColor(245, 190, 190);
    case EntryMark::Identical:
        return QColor(225, 225, 225);
    }
    return {};
}

Qt::Alignment alignmentOf(int column)
{
    // Sizes and attribute letters line up on the right, as numbers do.
    const bool right = column == EntryListModel::SizeColumn || column == EntryListModel::AttributeColumn;
    return (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

} // namespace

EntryListModel::EntryListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    for (int column = 0; column < ColumnCount; ++column)
        m_headers.append(QString());
}

void EntryListModel::setRows(QList<FileEntry> rows, QHash<QString, QIcon> icons, RowStyle style)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_icons = std::move(icons);
    m_style = std::move(style);
    m_marks.clear();
    endResetModel();
}

void EntryListModel::clear()
{
    setRows({}, {}, m_style);
}

QString EntryListModel::text(int row, Column column) const
{
    if (row < 0 || row >= m_rows.size() || column < NameColumn || column >= ColumnCount)
        return {};
    return columnText(m_rows[row], static_cast<EntryColumn>(column), m_style);
}

void EntryListModel::setHeaderTexts(const QStringList& texts)
{
    for (int column = 0; column < ColumnCount && column < texts.size(); ++column)
        m_headers[column] = texts[column];
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

void EntryListModel::setMarks(QList<EntryMark> marks)
{
    if (marks.isEmpty() && m_marks.isEmpty())
        return;
    m_marks = std::move(marks);
    m_marks.resize(m_rows.size(), EntryMark::None);
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
                           {Qt::BackgroundRole, Qt::ForegroundRole, Qt::ToolTipRole, Qt::AccessibleTextRole});
}

void EntryListModel::setDragDrop(DragDrop handlers)
{
    m_dragDrop = std::move(handlers);
}

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int EntryListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const FileEntry& row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), static_cast<Column>(index.column()));
    case Qt::DecorationRole:
        if (index.column() == NameColumn)
            return m_icons.value(row.iconKey);
        return {};
    case Qt::TextAlignmentRole:
        // Only the right-aligned columns say so; the name keeps the view's own alignment,
        // which centres it under a large icon.
        if (index.column() == SizeColumn || index.column() == AttributeColumn)
            return alignmentOf(index.column()).toInt();
        return {};
    case IconKeyRole:
        return row.iconKey;
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
        if (mark(index.row()) == EntryMark::None)
            return {};
        return role == Qt::BackgroundRole ? QBrush(markColour(mark(index.row()))) : QBrush(Qt::black);
    case Qt::ToolTipRole:
        return mark(index.row()) == EntryMark::None ? QVariant() : FolderComparison::markText(mark(index.row()));
    case Qt::AccessibleTextRole:
        // Colour is never the only sign: a screen reader says the mark with the name.
        if (index.column() != NameColumn || mark(index.row()) == EntryMark::None)
            return {};
        return row.name + QStringLiteral(", ") + FolderComparison::markText(mark(index.row()));
    default:
        return {};
    }
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return m_headers[section];
    if (role == Qt::TextAlignmentRole)
        return alignmentOf(section).toInt();
    return {};
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid())
        return m_dragDrop.canDrop ? flags | Qt::ItemIsDropEnabled : flags;
    const FileEntry& row = m_rows[index.row()];
    if (m_dragDrop.dragData && row.kind != EntryKind::Parent)
        flags |= Qt::ItemIsDragEnabled;
    if (m_dragDrop.canDrop && row.isFolderLike())
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

QStringList EntryListModel::mimeTypes() const
{
    // Whether data can be dropped depends on what it holds and where it goes: canDropMimeData()
    // decides, for every position.
    return {};
}

QMimeData* EntryListModel::mimeData(const QModelIndexList& indexes) const
{
    if (!m_dragDrop.dragData)
        return nullptr;
    QList<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && m_rows[index.row()].kind != EntryKind::Parent)
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows.isEmpty() ? nullptr : m_dragDrop.dragData(rows);
}

namespace {

// Onto a row, or between rows (the folder the list shows).
int targetRowOf(const QModelIndex& parent)
{
    return parent.isValid() ? parent.row() : -1;
}

} // namespace

bool EntryListModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) const
{
    return data && m_dragDrop.canDrop && m_dragDrop.canDrop(*data, targetRowOf(parent));
}

bool EntryListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent) || !m_dragDrop.drop)
        return false;
    m_dragDrop.drop(*data, targetRowOf(parent));
    return true;
}

Qt::DropActions EntryListModel::supportedDragActions() const
{
    // Rows are copied to the other side, never moved: nothing is deleted here after a drag.
    return Qt::CopyAction;
}

Qt::DropActions EntryListModel::supportedDropActions() const
{
    // A file manager may propose a move; the views take every drop as a copy (CopyDropView).
    return Qt::CopyAction | Qt::MoveAction;
}
