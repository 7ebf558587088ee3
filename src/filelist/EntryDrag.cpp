#include "EntryDrag.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace EntryDrag {

namespace {

// The names travel as UTF-16, so that a name holding bytes that are not UTF-8 (kept as escapes)
// comes back unchanged.
QByteArray encode(const DraggedRows& rows)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << QCoreApplication::applicationPid() << rows.folder << qint32(rows.rows.size());
    for (const DraggedRow& row : rows.rows)
        out << row.name << row.isFolder << row.size;
    return bytes;
}

std::optional<DraggedRows> decode(const QByteArray& bytes, bool fromThisProcessOnly)
{
    QDataStream in(bytes);
    qint64 pid = 0;
    qint32 count = 0;
    DraggedRows rows;
    in >> pid >> rows.folder >> count;
    if (in.status() != QDataStream::Ok || count < 0 || (fromThisProcessOnly && pid != QCoreApplication::applicationPid()))
        return std::nullopt;
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        DraggedRow row;
        in >> row.name >> row.isFolder >> row.size;
        rows.rows.append(row);
    }
    if (in.status() != QDataStream::Ok || rows.rows.isEmpty())
        return std::nullopt;
    return rows;
}

// The local files of a text/uri-list, grouped by folder in the order they come.
QList<DraggedRows> localFiles(const QList<QUrl>& urls)
{
    QList<DraggedRows> groups;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        // A folder may come with a trailing "/".
        const QFileInfo info(QDir::cleanPath(url.toLocalFile()));
        if (info.fileName().isEmpty())
            continue;
        const QString folder = info.absolutePath().endsWith(QLatin1Char('/')) ? info.absolutePath()
                                                                               : info.absolutePath() + QLatin1Char('/');
        auto group = std::find_if(groups.begin(), groups.end(), [&](const DraggedRows& g) { return g.folder == folder; });
        if (group == groups.end())
            group = groups.insert(groups.end(), DraggedRows{folder, {}});
        group->rows.append({info.fileName(), info.isDir(), info.isDir() ? 0 : info.size()});
    }
    return groups;
}

} // namespace

QMimeData* mimeDataOf(ListSide side, const DraggedRows& rows)
{
    auto* data = new QMimeData;
    data->setData(side == ListSide::Local ? localRowsType : serverRowsType, encode(rows));
    if (side == ListSide::Local) {
        QList<QUrl> urls;
        for (const DraggedRow& row : rows.rows)
            urls.append(QUrl::fromLocalFile(rows.folder + row.name));
        data->setUrls(urls);
    }
    return data;
}

QList<DraggedRows> droppable(ListSide side, const QMimeData& data)
{
    const QString otherType = side == ListSide::Local ? serverRowsType : localRowsType;
    if (data.hasFormat(otherType)) {
        const auto rows = decode(data.data(otherType), side == ListSide::Local);
        return rows ? QList<DraggedRows>{*rows} : QList<DraggedRows>{};
    }
    // The panes' own drags, and anything dropped on the local side, go no further.
    if (side == ListSide::Local || data.hasFormat(serverRowsType))
        return {};
    return localFiles(data.urls());
}

} // namespace EntryDrag
