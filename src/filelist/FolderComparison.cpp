#include "FolderComparison.h"

#include "TextCatalogue.h"

#include <QHash>

namespace FolderComparison {

namespace {

// Which way the times of two namesakes lean: -1 the local one is newer, +1 the remote one, 0 the
// same time (or a time is missing).
int newerSide(const FileEntry& local, const FileEntry& remote, const QTimeZone& serverZone)
{
    if (!local.lastWrite.isValid() || !remote.lastWrite.isValid())
        return 0;
    if (remote.timeKind == ListedTime::ServerDay) {
        const QDate localDay = local.lastWrite.toTimeZone(serverZone).date();
        const QDate remoteDay = remote.lastWrite.date();
        return localDay == remoteDay ? 0 : localDay > remoteDay ? -1 : 1;
    }
    // The listing's digits of a LIST time are read on the server's clock.
    const QDateTime remoteTime = remote.timeKind == ListedTime::ServerClock
                                     ? QDateTime(remote.lastWrite.date(), remote.lastWrite.time(), serverZone)
                                     : remote.lastWrite;
    const qint64 difference = local.lastWrite.msecsTo(remoteTime);
    return difference > toleranceMs ? 1 : difference < -toleranceMs ? -1 : 0;
}

} // namespace

Marks compare(const FileEntry& local, const FileEntry& remote, CompareBy by, const QTimeZone& serverZone)
{
    if (local.isFolderLike() != remote.isFolderLike())
        return {EntryMark::OnlyHere, EntryMark::OnlyHere};
    if (local.isFolderLike() || remote.kind == EntryKind::Link)
        return {EntryMark::Identical, EntryMark::Identical};
    if (by == CompareBy::SizeAndTime) {
        const int newer = newerSide(local, remote, serverZone);
        if (newer < 0)
            return {EntryMark::Newer, EntryMark::None};
        if (newer > 0)
            return {EntryMark::None, EntryMark::Newer};
    }
    const EntryMark same = local.size == remote.size ? EntryMark::Identical : EntryMark::DifferentSize;
    return {same, same};
}

FolderMarks compareFolders(const QList<FileEntry>& local, const QList<FileEntry>& remote, CompareBy by,
                           const QTimeZone& serverZone)
{
    FolderMarks marks{QList<EntryMark>(local.size(), EntryMark::OnlyHere),
                      QList<EntryMark>(remote.size(), EntryMark::OnlyHere)};
    QHash<QString, qsizetype> remoteRows;
    remoteRows.reserve(remote.size());
    for (qsizetype row = 0; row < remote.size(); ++row) {
        if (remote[row].kind == EntryKind::Parent)
            marks.remote[row] = EntryMark::None;
        else
            remoteRows.insert(remote[row].name, row);
    }
    for (qsizetype row = 0; row < local.size(); ++row) {
        const auto match = remoteRows.constFind(local[row].name);
        if (match == remoteRows.cend())
            continue;
        const Marks pair = compare(local[row], remote[*match], by, serverZone);
        marks.local[row] = pair.local;
        marks.remote[*match] = pair.remote;
    }
    return marks;
}

QString markText(EntryMark mark)
{
    switch (mark) {
    case EntryMark::None:
        return {};
    case EntryMark::OnlyHere:
        return getText("COMPARE_ONLYHERE");
    case EntryMark::Newer:
        return getText("COMPARE_NEWER");
    case EntryMark::DifferentSize:
        return getText("COMPARE_SIZE");
    case EntryMark::Identical:
        return getText("COMPARE_SAME");
    }
    return {};
}

} // namespace FolderComparison
