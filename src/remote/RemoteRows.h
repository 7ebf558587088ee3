#pragma once

#include "EntryPresentation.h"
#include "RemoteEntry.h"
#include "RemoteListingEntry.h"

#include <QList>
#include <QString>

class EntryTypeResolver;

// The pure rules that turn a server listing into RemoteListing and the rows of the remote list.
namespace RemoteRows {

// The picture keys every listing stores first: a folder and an unknown file.
inline const QString folderIconKey = QStringLiteral("zdirectoryx");
inline const QString unknownIconKey = QStringLiteral("zunbekannty");
inline const QString parentName = QStringLiteral("..");

// One entry, typed by resolver (which must use the remote fallback). Folders are typed like
// files, so a folder called "tools.exe" takes a number of the built-in counter as well.
RemoteListingEntry listingEntry(const RemoteEntry& entry, EntryTypeResolver& resolver);
// Every entry in server order.
RemoteListing buildListing(const QList<RemoteEntry>& entries, EntryTypeResolver& resolver);

// A folder is an entry whose attribute number is exactly 16: the directory bit and nothing else.
bool isFolder(const RemoteListingEntry& entry);

// The rows of the list: "..", then the folders, then the files, each group in listing order.
// folderText is the catalogue's word for the type column of folders. Folder and ".." rows have
// an empty size column, which is what marks them for the commands.
QList<EntryRow> rowsOf(const RemoteListing& listing, const QString& folderText);

} // namespace RemoteRows
