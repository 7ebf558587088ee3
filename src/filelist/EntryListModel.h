#pragma once

#include "EntryPresentation.h"
#include "FileEntry.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QStringList>

// The rows of a file list: name (with its picture), size, type, last change, attributes. One
// model feeds every view of a pane, so that all views show and select the same rows. It is
// refilled as a whole for each listing; modelReset() is the only change it signals. The texts are
// made from the typed entries as they are shown, by the rules of the style given with the rows.
class EntryListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, SizeColumn, TypeColumn, ChangedColumn, AttributeColumn, ColumnCount };
    // The icon key of a row, asked of the name column.
    static constexpr int IconKeyRole = Qt::UserRole + 1;

    explicit EntryListModel(QObject* parent = nullptr);

    // Replaces every row, the pictures they name by icon key, and how they are shown.
    void setRows(QList<FileEntry> rows, QHash<QString, QIcon> icons, RowStyle style);
    void clear();
    const QList<FileEntry>& rows() const { return m_rows; }
    const QHash<QString, QIcon>& icons() const { return m_icons; }
    // The text a cell shows.
    QString text(int row, Column column) const;

    // The header texts of the five columns.
    void setHeaderTexts(const QStringList& texts);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<FileEntry> m_rows;
    QHash<QString, QIcon> m_icons;
    RowStyle m_style;
    QStringList m_headers;
};
