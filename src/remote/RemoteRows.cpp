#include "RemoteRows.h"

#include "EntryTypeResolver.h"

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

} // namespace

FileEntry listingEntry(const RemoteEntry& entry, EntryTypeResolver& resolver)
{
    const ResolvedType type = resolver.resolve(entry.name);
    const bool folder = entry.attributes == FileAttribute::directory;
    FileEntry stored;
    stored.kind = entry.isLink ? EntryKind::Link : folder ? EntryKind::Folder : EntryKind::File;
    stored.name = entry.name;
    stored.iconKey = folder ? folderIconKey : type.iconKey;
    stored.typeName = type.typeName;
    stored.attributes = entry.attributes;
    stored.size = entry.size;
    stored.lastWrite = entry.lastWrite;
    stored.linkTarget = entry.linkTarget;
    stored.permissions = entry.permissions;
    return stored;
}

RemoteListing buildListing(const QList<RemoteEntry>& entries, EntryTypeResolver& resolver)
{
    RemoteListing listing;
    listing.reserve(entries.size());
    for (const RemoteEntry& entry : entries)
        listing.append(listingEntry(entry, resolver));
    return listing;
}

QList<FileEntry> rowsOf(const RemoteListing& listing)
{
    QList<FileEntry> rows;
    rows.reserve(listing.size() + 1);
    rows.append(parentRow());
    // Two passes keep the server's order within each group; nothing is sorted by name.
    for (const FileEntry& entry : listing) {
        if (entry.isFolderLike())
            rows.append(entry);
    }
    for (const FileEntry& entry : listing) {
        if (!entry.isFolderLike())
            rows.append(entry);
    }
    return rows;
}

} // namespace RemoteRows
