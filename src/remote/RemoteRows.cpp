#include "RemoteRows.h"

#include "EntryTypeResolver.h"

#include <algorithm>

namespace RemoteRows {

namespace {

FileEntry parentRow()
{
    FileEntry row;
    row.kind = EntryKind::Parent;
    row.name = parentName;
    row.iconKey = folderIconKey;
    return row;
}

EntryKind kindOf(const RemoteEntry& entry)
{
    if (entry.isLink)
        return EntryKind::Link;
    return entry.attributes == FileAttribute::directory ? EntryKind::Folder : EntryKind::File;
}

bool isFolderRow(const RemoteEntry& entry)
{
    FileEntry row;
    row.kind = kindOf(entry);
    row.attributes = entry.attributes;
    return row.isFolderLike();
}

} // namespace

FileEntry listingEntry(const RemoteEntry& entry, EntryTypeResolver& resolver)
{
    const ResolvedType type = resolver.resolve(entry.name);
    const bool folder = entry.attributes == FileAttribute::directory;
    FileEntry stored;
    stored.kind = kindOf(entry);
    stored.name = entry.name;
    stored.iconKey = folder ? folderIconKey : type.iconKey;
    stored.typeName = type.typeName;
    stored.attributes = entry.attributes;
    stored.size = entry.size;
    stored.lastWrite = entry.lastWrite;
    stored.timeKind = entry.timeKind;
    stored.linkTarget = entry.linkTarget;
    stored.permissions = entry.permissions;
    return stored;
}

QList<FileEntry> rowsOf(const QList<RemoteEntry>& entries, EntryTypeResolver& resolver)
{
    QList<FileEntry> rows(entries.size() + 1);
    rows[0] = parentRow();
    // Nothing is sorted by name: the files start after the last folder, each group keeps the
    // server's order.
    qsizetype nextFolder = 1;
    qsizetype nextFile = 1 + std::count_if(entries.begin(), entries.end(), isFolderRow);
    for (const RemoteEntry& entry : entries)
        rows[isFolderRow(entry) ? nextFolder++ : nextFile++] = listingEntry(entry, resolver);
    return rows;
}

} // namespace RemoteRows
