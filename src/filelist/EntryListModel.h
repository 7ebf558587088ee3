#pragma once

#include "EntryPresentation.h"
#include "FileEntry.h"
#include "FolderComparison.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QStringList>

#include <functional>

// The rows of a file list: name (with its picture), size, type, last change, attributes. One
// model feeds every view of a pane, so that all views show and select the same rows. It is
// refilled as a whole for each listing, which signals modelReset(); the marks of a folder
// comparison are the only other change (dataChanged()). The texts are made from the typed entries
// as they are shown, by the rules of the style given with the rows.
class EntryListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, SizeColumn, TypeColumn, ChangedColumn, AttributeColumn, ColumnCount };
    // The icon key of a row, asked of the name column.
    static constexpr int IconKeyRole = Qt::UserRole + 1;

    // What the pane makes of rows dragged out of its list and of data dropped onto it. A target
    // row of -1 is the folder the list shows; otherwise it is a folder row (or "..").
    struct DragDrop {
        std::function<QMimeData*(const QList<int>& rows)> dragData;
        std::function<bool(const QMimeData& data, int targetRow)> canDrop;
        std::function<void(const QMimeData& data, int targetRow)> drop;
    };

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

    // The marks of a folder comparison, one per row (empty: none). A marked row is coloured, and
    // its name's accessible text and tooltip say the mark in words. A new listing drops them.
    void setMarks(QList<EntryMark> marks);
    EntryMark mark(int row) const { return row >= 0 && row < m_marks.size() ? m_marks[row] : EntryMark::None; }

    void setDragDrop(DragDrop handlers);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent) override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

private:
    QList<FileEntry> m_rows;
    QHash<QString, QIcon> m_icons;
    RowStyle m_style;
    QStringList m_headers;
    QList<EntryMark> m_marks;
    DragDrop m_dragDrop;
};
