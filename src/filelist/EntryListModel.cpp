#include "EntryListModel.h"

namespace {

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
