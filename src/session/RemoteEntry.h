#pragma once

#include "FileAttributes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One entry of a server listing, as the listing parsers make it.
struct RemoteEntry {
    QString name;         // for display; bytes that are not UTF-8 decode lossily
    QByteArray rawName;   // the name's bytes as the server sent them, for later commands
    bool isDirectory = false;
    // A symbolic link. It is a folder when the listing says so (MLSD type=dir, or a LIST target
    // ending in "/"); otherwise LIST cannot tell, and it stays a file with isLink set - a caller
    // that wants to enter such a link tries ftpSetDir() on it first.
    bool isLink = false;
    qint64 size = 0;
    QDateTime lastWrite;  // as the server reports it, in UTC with no time-zone conversion
    quint32 attributes = FileAttribute::normal; // FileAttribute::directory for a folder
    QString linkTarget;   // where a link leads, as listed ("-> target"); empty when unknown
    QString permissions;  // as listed: "drwxr-xr-x", or MLSD's UNIX.mode or perm fact
    QString rawLine;      // the listing line it came from

    bool operator==(const RemoteEntry&) const = default;
};
