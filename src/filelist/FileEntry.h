#pragma once

#include "FileAttributes.h"
#include "ListedTime.h"

#include <QDateTime>
#include <QString>

// What a row of a file list stands for.
enum class EntryKind {
    Parent, // the ".." row of the remote list: one level up
    Folder,
    File,
    Link,   // a symbolic link; FileAttribute::directory is set when it is known to lead to a folder
};

// One directory entry, local or remote: the record a row of a file list is made from. The texts a
// row shows are made from it by the rules of EntryPresentation.h.
struct FileEntry {
    // The icon key of every local folder.
    static inline const QString folderIconKey = QStringLiteral("Folder");

    EntryKind kind = EntryKind::File;
    QString name;         // without path, exactly as the file system or the server reports it
    QString iconKey;      // "Folder", "z" + lower-case extension, or a built-in key with its number (zexe0)
    QString typeName;     // the type's name or its fallback ("BIN-Datei"); folders show the catalogue's word instead
    quint32 attributes = FileAttribute::normal;
    qint64 size = 0;      // in bytes; 64-bit, so nothing wraps at 2 GiB
    QDateTime lastWrite;  // local: UTC; remote: as the server reports it
    QString linkTarget;   // where a link leads, when the listing says
    QString permissions;  // remote: the permission text of the listing
    ListedTime timeKind = ListedTime::Instant; // what lastWrite says: local times are instants

    // Shown and entered like a folder: "..", a folder, or a link known to lead to one.
    bool isFolderLike() const
    {
        return kind == EntryKind::Parent || kind == EntryKind::Folder
            || (kind == EntryKind::Link && (attributes & FileAttribute::directory) != 0);
    }

    bool operator==(const FileEntry&) const = default;
};
// Moved as bytes when a list of them grows.
Q_DECLARE_TYPEINFO(FileEntry, Q_RELOCATABLE_TYPE);
