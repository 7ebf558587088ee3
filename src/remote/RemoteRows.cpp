#include "RemoteRows.h"

#include "EntryTypeResolver.h"

namespace RemoteRows {

namespace {

const QString folderAttributeNumber = QString::number(RemoteEntry::directoryAttribute);

EntryRow parentRow()
{
    EntryRow row;
    row.name = parentName;
    row.iconKey = folderIconKey;
    row.isFolder = true;
    return row;
}

} // namespace

RemoteListingEntry listingEntry(const RemoteEntry& entry, EntryTypeResolver& resolver)
{
    const ResolvedType type = resolver.resolve(entry.name);
    RemoteListingEntry stored;
    stored.name = entry.name;
    stored.sizeText = remoteSizeText(entry.size);
    stored.typeName = type.typeName;
    stored.dateText = remoteDateText(entry.lastWrite);
    stored.attributeNumber = QString::number(entry.attributes);
    stored.iconKey = type.iconKey;
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

bool isFolder(const RemoteListingEntry& entry)
{
    return entry.attributeNumber == folderAttributeNumber;
}

QList<EntryRow> rowsOf(const RemoteListing& listing, const QString& folderText)
{
    QList<EntryRow> rows;
    rows.reserve(listing.size() + 1);
    rows.append(parentRow());
    // Two passes keep the server's order within each group; nothing is sorted by name.
    for (const RemoteListingEntry& entry : listing) {
        if (!isFolder(entry))
            continue;
        EntryRow row;
        row.name = entry.name;
        row.iconKey = folderIconKey;
        row.typeText = folderText;
        row.dateText = entry.dateText;
        row.attributeText = attributeText(entry.attributeNumber.toUInt(), AttributeOrder::Remote);
        row.isFolder = true;
        rows.append(row);
    }
    for (const RemoteListingEntry& entry : listing) {
        if (isFolder(entry))
            continue;
        EntryRow row;
        row.name = entry.name;
        row.iconKey = entry.iconKey;
        row.sizeText = entry.sizeText;
        row.typeText = entry.typeName;
        row.dateText = entry.dateText;
        row.attributeText = attributeText(entry.attributeNumber.toUInt(), AttributeOrder::Remote);
        rows.append(row);
    }
    return rows;
}

} // namespace RemoteRows
