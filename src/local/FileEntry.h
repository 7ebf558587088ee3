#pragma once

#include <QDateTime>
#include <QString>

// The attribute bits a listing carries for an entry. A local file gets them from
// localAttributeBits (LocalFolderReader.h), a remote one from its listing line.
namespace FileAttribute {
inline constexpr quint32 readOnly = 0x1;
inline constexpr quint32 hidden = 0x2;
inline constexpr quint32 system = 0x4;
inline constexpr quint32 directory = 0x10;
inline constexpr quint32 archive = 0x20;
inline constexpr quint32 normal = 0x80;
inline constexpr quint32 temporary = 0x100;
inline constexpr quint32 compressed = 0x800;
} // namespace FileAttribute

// One directory entry, the record a row of a file list is made from.
struct FileEntry {
    // The type name every folder carries; it is also what marks an entry as a folder.
    static inline const QString folderTypeName = QStringLiteral("Dateiordner");
    // The icon key of every folder.
    static inline const QString folderIconKey = QStringLiteral("Folder");

    QString iconKey;      // "Folder", "z" + lower-case extension, or a built-in key with its number (zexe0)
    QString name;         // without path, as the file system reports it
    QString typeName;     // "Dateiordner" for a folder, else a type name or its "-Datei" fallback
    quint32 attributes = 0;
    qint64 size = 0;      // in bytes; 64-bit, so nothing wraps at 2 GiB
    QDateTime lastWrite;  // in UTC

    bool operator==(const FileEntry&) const = default;
};
