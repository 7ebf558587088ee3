#pragma once

#include "EntryPresentation.h"
#include "FileEntry.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

class TypeInfoProvider;

// What the file system tells about one local entry, as far as its attribute bits need it.
struct LocalFileFacts {
    QString name;
    bool isFolder = false;      // a folder, or a link to one
    bool isRegularFile = false; // a regular file, or a link to one
    bool isSymLink = false;
    bool isWritable = false;    // writable by the user running the program
};

// The entries of one local folder with their pictures, as ReadFolder leaves them.
struct FolderListing {
    QString folder;                 // the folder read, ending in "/"
    QList<FileEntry> entries;       // sorted, folders first
    QHash<QString, QIcon> icons;    // by icon key
    bool found = false;             // at least one entry
};

// The attribute bits of a local entry: folder 0x10, hidden (name starts with ".") 0x2, read-only
// (not writable by the user) 0x1, system (neither regular file, folder nor link) 0x4, and normal
// 0x80 when no other bit is set.
quint32 localAttributeBits(const LocalFileFacts& facts);

// folder with a "/" appended unless it ends in one.
QString withTrailingSlash(const QString& folder);

// Reads every entry of folder, hidden and system ones included, gives each its type name and
// pictures from provider (once per key) and sorts them in the mode (ReadFolder). A folder that
// cannot be read gives no entries.
FolderListing readFolder(const QString& folder, TypeInfoProvider& provider, CompareMode mode);

// The names of the subfolders of folder, hidden ones and links to folders included, in the
// mode's order.
QStringList subfolderNames(const QString& folder, CompareMode mode = CompareMode::Text);
