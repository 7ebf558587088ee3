#pragma once

#include "SelectedRow.h"
#include "UploadItem.h"

#include <QList>

#include <functional>

// The local side of an upload: which files and folders it sends, in the order it sends them.
namespace UploadWalk {

// The items of the selected rows, in row order: a folder row becomes a folder item, any other row
// a file of sourceFolder (which ends in "/" and keeps its case). A row whose name does not stand for
// exactly one entry of the folder is refused (UnencodableName).
QList<UploadItem> collectSelection(const QString& sourceFolder, const QList<SelectedRow>& rows);

// True when name gives back the bytes of exactly one entry of folder. A name read from the disk
// whose bytes are not UTF-8 shows with replacement characters, so several names may show alike,
// and none of them would reach the server as it is.
bool isExactLocalName(const QString& folder, const QString& name);

// WalkLocalFolder: appends every file and folder below the folder item's folder to items, each
// folder's own entries (by name, hidden ones too) before the contents of its subfolders. Links to
// files are files; links to folders are refused, not followed; entries whose names are not UTF-8
// are refused, and such folders not walked. Stops early when stop() says so.
void walkLocalFolder(const UploadItem& folder, QList<UploadItem>& items, const std::function<bool()>& stop);

} // namespace UploadWalk
