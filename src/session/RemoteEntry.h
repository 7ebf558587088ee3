#pragma once

#include "NameCodec.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One entry of a server listing, as the listing parsers make it. Small on purpose: a listing
// holds up to a million of them.
struct RemoteEntry {
    static constexpr quint32 directoryAttribute = 0x10; // the one bit a folder carries
    static constexpr quint32 normalAttribute = 0x80;    // a plain file

    // Bytes that are not UTF-8 are kept as escapes (see NameCodec): the name shows them lossily,
    // and goes back to the server as the very bytes it sent.
    QString name;
    bool isDirectory = false;
    // A symbolic link. It is a folder when the listing says so (MLSD type=dir, or a LIST target
    // ending in "/"); otherwise LIST cannot tell, and it stays a file with isLink set - a caller
    // that wants to enter such a link tries ftpSetDir() on it first.
    bool isLink = false;
    qint64 size = 0;
    QDateTime lastWrite;  // as the server reports it, in UTC with no time-zone conversion
    quint32 attributes = normalAttribute;

    // The name's bytes as the server sent them.
    QByteArray rawName() const { return NameCodec::encode(name); }

    bool operator==(const RemoteEntry&) const = default;
};
