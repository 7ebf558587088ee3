#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One entry of a server listing, as the listing parsers make it.
struct RemoteEntry {
    static constexpr quint32 directoryAttribute = 0x10; // the one bit a folder carries
    static constexpr quint32 normalAttribute = 0x80;    // a plain file

    QString name;         // for display; bytes that are not UTF-8 decode lossily
    QByteArray rawName;   // the name's bytes as the server sent them, for later commands
    bool isDirectory = false;
    // A symbolic link. It is a folder when the listing says so (MLSD type=dir, or a LIST target
    // ending in "/"); otherwise LIST cannot tell, and it stays a file with isLink set - a caller
    // that wants to enter such a link tries ftpSetDir() on it first.
    bool isLink = false;
    qint64 size = 0;
    QDateTime lastWrite;  // as the server reports it, in UTC with no time-zone conversion
    quint32 attributes = normalAttribute;
    QString rawLine;      // the listing line it came from

    bool operator==(const RemoteEntry&) const = default;
};
