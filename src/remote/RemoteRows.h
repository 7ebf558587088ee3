#pragma once

#include "FileEntry.h"
#include "RemoteEntry.h"

#include <QList>
#include <QString>

class EntryTypeResolver;

// The pure rules that turn a server listing into the rows of the remote list.
namespace RemoteRows {

// The picture keys every listing stores first: a folder and an unknown file.
inline const QString folderIconKey = QStringLiteral("zdirectoryx");
inline const QString unknownIconKey = QStringLiteral("zunbekannty");
inline const QString parentName = QStringLiteral("..");

// One entry, typed by resolver (which must use the remote fallback). Folders are typed like
// files, so a folder called "tools.exe" takes a number of the built-in counter as well. An entry
// is a folder when its attribute bits are exactly the directory bit; a link stays a link.
FileEntry listingEntry(const RemoteEntry& entry, EntryTypeResolver& resolver);

// The rows of the list: "..", then the folders (links to folders among them), then the files,
// each group in listing order. The entries are typed in listing order (the built-in counter
// follows it), each straight into its row: a listing costs its rows and no copy of them.
QList<FileEntry> rowsOf(const QList<RemoteEntry>& entries, EntryTypeResolver& resolver);

} // namespace RemoteRows
