#include "SftpWire.h"

#include <QtEndian>

namespace SftpWire {

Writer::Writer(Type type, std::optional<quint32> id)
{
    m_bytes.reserve(64);
    u32(0);
    m_bytes.append(static_cast<char>(type));
    if (id)
        u32(*id);
}

Writer& Writer::u32(quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    m_bytes.append(bytes, 4);
    return *this;
}

Writer& Writer::u64(quint64 value)
{
    char bytes[8];
    qToBigEndian(value, bytes);
    m_bytes.append(bytes, 8);
    return *this;
}

Writer& Writer::string(QByteArrayView bytes)
{
    u32(static_cast<quint32>(bytes.size()));
    m_bytes.append(bytes);
    return *this;
}

Writer& Writer::attributes(std::optional<quint32> permissions)
{
    if (!permissions)
        return u32(0);
    return u32(attrPermissions).u32(*permissions);
}

QByteArray Writer::finish()
{
    qToBigEndian(static_cast<quint32>(m_bytes.size() - 4), m_bytes.data());
    return std::move(m_bytes);
}

bool Reader::take(qsizetype count)
{
    if (!m_ok || count < 0 || m_bytes.size() - m_position < count) {
        m_ok = false;
        return false;
    }
    return true;
}

quint32 Reader::u32()
{
    if (!take(4))
        return 0;
    const quint32 value = qFromBigEndian<quint32>(m_bytes.data() + m_position);
    m_position += 4;
    return value;
}

quint64 Reader::u64()
{
    const quint64 high = u32();
    return high << 32 | u32();
}

QByteArrayView Reader::string()
{
    const quint32 length = u32();
    if (!take(static_cast<qsizetype>(length)))
        return {};
    const QByteArrayView view = m_bytes.sliced(m_position, static_cast<qsizetype>(length));
    m_position += static_cast<qsizetype>(length);
    return view;
}

SftpAttributes Reader::attributes()
{
    SftpAttributes result;
    const quint32 flags = u32();
    if (flags & attrSize) {
        result.hasSize = true;
        result.size = u64();
    }
    if (flags & attrOwner) {
        u32();
        u32();
    }
    if (flags & attrPermissions) {
        result.hasPermissions = true;
        result.permissions = u32();
    }
    if (flags & attrTimes) {
        result.hasTimes = true;
        u32(); // access time
        result.modified = u32();
    }
    if (flags & attrExtended) {
        const quint32 count = u32();
        for (quint32 i = 0; i < count && m_ok; ++i) {
            string();
            string();
        }
    }
    return result;
}

std::optional<Packet> takePacket(const QByteArray& buffer, qsizetype& start, bool& broken)
{
    broken = false;
    // Length and type come first; no packet is shorter.
    if (buffer.size() - start < 5)
        return std::nullopt;
    const char* head = buffer.constData() + start;
    const quint32 length = qFromBigEndian<quint32>(head);
    const quint8 type = static_cast<quint8>(head[4]);
    if (length < 1 || length > maxPacket || (type != Version && length < 5)) {
        broken = true;
        return std::nullopt;
    }
    const qsizetype total = 4 + static_cast<qsizetype>(length);
    if (buffer.size() - start < total)
        return std::nullopt;
    Packet packet;
    packet.type = type;
    // Every reply but Version carries a request id.
    const qsizetype bodyStart = type == Version ? 5 : 9;
    if (type != Version)
        packet.id = qFromBigEndian<quint32>(head + 5);
    packet.body = buffer.mid(start + bodyStart, total - bodyStart);
    start += total;
    return packet;
}

} // namespace SftpWire
