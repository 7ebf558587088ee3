#pragma once

#include "EntryPresentation.h"

#include <QList>
#include <QString>

class QMimeData;

// One row carried by a drag between the panes.
struct DraggedRow {
    QString name;
    bool isFolder = false;
    qint64 size = 0;

    bool operator==(const DraggedRow&) const = default;
};

// Rows of one folder carried by a drag.
struct DraggedRows {
    QString folder; // a local folder ending in "/", or a server folder as the server reports it
    QList<DraggedRow> rows;

    bool operator==(const DraggedRows&) const = default;
};

// The data of the panes' drags, in formats of the program's own, and what a drop can take of it.
namespace EntryDrag {

// Rows of the local pane, and rows of the remote pane of one running program (they name files on
// its connection, so another instance of the program cannot take them).
inline const QString localRowsType = QStringLiteral("application/x-ftpclient-local-rows");
inline const QString serverRowsType = QStringLiteral("application/x-ftpclient-server-rows");

// The data of a drag of rows from the list of side. Local rows go as text/uri-list too, so that
// other programs can take them.
QMimeData* mimeDataOf(ListSide side, const DraggedRows& rows);

// What a drop onto the list of side takes of data: rows of the other pane; on the remote side also
// the local files of a text/uri-list (a file manager's drag), one group per folder. Empty when
// nothing can be dropped there, also for rows of the pane's own side.
QList<DraggedRows> droppable(ListSide side, const QMimeData& data);

} // namespace EntryDrag
