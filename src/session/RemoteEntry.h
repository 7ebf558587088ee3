#pragma once

#include "FileAttributes.h"
#include "ListedTime.h"
#include "NameCodec.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One entry of a server listing, as the listing parsers make it. Small on purpose: a listing
// holds up to a million of them.
struct RemoteEntry {
    // Bytes that are not UTF-8 are kept as escapes (see NameCodec): the name shows them lossily,
    // and goes back to the server as the very bytes it sent.
    QString name;
    bool isDirectory = false;
    // A symbolic link. It is a folder when the listing says so (MLSD type=dir, or a LIST target
    // ending in "/"); otherwise LIST cannot tell, and it stays a file with isLink set - a caller
    // that wants to enter such a link tries setDir() on it first.
    bool isLink = false;
    ListedTime timeKind = ListedTime::Instant; // whether lastWrite is an instant or the server's clock
    qint64 size = 0;
    QDateTime lastWrite;  // as the server reports it, in UTC with no time-zone conversion
    quint32 attributes = FileAttribute::normal; // FileAttribute::directory for a folder
    QString linkTarget;   // where a link leads, as listed ("-> target"); empty when unknown
    QString permissions;  // as listed: "drwxr-xr-x", or MLSD's UNIX.mode or perm fact

    // The name's bytes as the server sent them.
    QByteArray rawName() const { return NameCodec::encode(name); }

    bool operator==(const RemoteEntry&) const = default;
};
// Moved as bytes when a list of them grows.
Q_DECLARE_TYPEINFO(RemoteEntry, Q_RELOCATABLE_TYPE);
