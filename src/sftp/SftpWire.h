#pragma once

#include "SftpTypes.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The byte layout of SFTP version 3 (draft-ietf-secsh-filexfer-02): packet types, and the writer
// and reader of a packet's body. Every read is bounds-checked; a packet that ends early makes
// the reader fail rather than read past it.
namespace SftpWire {

enum Type : quint8 {
    Init = 1,
    Version = 2,
    Open = 3,
    Close = 4,
    Read = 5,
    Write = 6,
    Lstat = 7,
    Fstat = 8,
    Opendir = 11,
    Readdir = 12,
    Remove = 13,
    Mkdir = 14,
    Rmdir = 15,
    Realpath = 16,
    Stat = 17,
    Rename = 18,
    Readlink = 19,
    Status = 101,
    Handle = 102,
    Data = 103,
    Name = 104,
    Attrs = 105,
    Extended = 200,
};

// Open flags.
constexpr quint32 openRead = 0x01;
constexpr quint32 openWrite = 0x02;
constexpr quint32 openCreate = 0x08;
constexpr quint32 openTruncate = 0x10;

// Status codes.
constexpr quint32 statusOk = 0;
constexpr quint32 statusEof = 1;

// Attribute flags.
constexpr quint32 attrSize = 0x1;
constexpr quint32 attrOwner = 0x2;
constexpr quint32 attrPermissions = 0x4;
constexpr quint32 attrTimes = 0x8;
constexpr quint32 attrExtended = 0x80000000;

// Builds one packet: the length prefix is filled in by finish().
class Writer
{
public:
    Writer(Type type, std::optional<quint32> id);
    Writer& u32(quint32 value);
    Writer& u64(quint64 value);
    Writer& string(QByteArrayView bytes);
    // Attributes: only the permissions, when given.
    Writer& attributes(std::optional<quint32> permissions = std::nullopt);
    QByteArray finish();

private:
    QByteArray m_bytes;
};

// Reads a packet's body (after the length, type and id).
class Reader
{
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_position >= m_bytes.size(); }
    quint32 u32();
    quint64 u64();
    // A view into the packet; empty and failed when the length runs past the end.
    QByteArrayView string();
    SftpAttributes attributes();

private:
    bool take(qsizetype count);

    QByteArrayView m_bytes;
    qsizetype m_position = 0;
    bool m_ok = true;
};

// A packet received: its type, its id (0 for Version) and its body after those.
struct Packet {
    quint8 type = 0;
    quint32 id = 0;
    QByteArray body;
};

// Takes one complete packet from buffer at start, moving start past it; nullopt when the buffer
// does not hold one yet. A length of 0 or above maxPacket, or a reply too short for its id, sets
// broken.
std::optional<Packet> takePacket(const QByteArray& buffer, qsizetype& start, bool& broken);

constexpr qsizetype maxPacket = 1024 * 1024;

} // namespace SftpWire
