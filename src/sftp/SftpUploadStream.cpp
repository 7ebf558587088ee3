#include "SftpUploadStream.h"

#include "SftpConnection.h"
#include "SftpWire.h"

SftpUploadStream::SftpUploadStream(SftpConnection& connection, QByteArray path, QByteArray handle, qint64 offset)
    : m_connection(connection)
    , m_path(std::move(path))
    , m_handle(std::move(handle))
    , m_offset(offset)
{
}

SftpUploadStream::~SftpUploadStream()
{
    drop();
}

void SftpUploadStream::drop()
{
    if (m_handle.isEmpty())
        return;
    if (m_connection.isConnected())
        m_connection.abandon(m_inFlight.keys(), m_handle);
    m_inFlight.clear();
    m_handle.clear();
}

bool SftpUploadStream::awaitOne()
{
    SftpWire::Packet reply;
    SftpStatus status = m_connection.receive(reply);
    if (status) {
        const auto found = m_inFlight.find(reply.id);
        if (found == m_inFlight.end()) {
            status = m_connection.broken(SftpStatus::failure(SftpStatus::Code::ProtocolError,
                                                             QStringLiteral("the server answered a request not made")));
        } else {
            const qint64 size = *found;
            m_inFlight.erase(found);
            status = m_connection.statusOf(reply, QStringLiteral("cannot upload \"%1\"").arg(QString::fromUtf8(m_path)));
            if (status)
                m_confirmed += size;
        }
    }
    if (!status) {
        m_status = status;
        drop();
    }
    return status.ok();
}

bool SftpUploadStream::sendBlock(const char* data, qint64 size)
{
    while (m_inFlight.size() >= m_connection.requestsInFlight()) {
        if (!awaitOne())
            return false;
    }
    const quint32 id = m_connection.nextId();
    m_connection.send(SftpWire::Writer(SftpWire::Write, id)
                          .string(m_handle)
                          .u64(static_cast<quint64>(m_offset))
                          .string(QByteArrayView(data, size))
                          .finish());
    m_inFlight.insert(id, size);
    m_offset += size;
    return true;
}

bool SftpUploadStream::write(const char* data, qint64 size)
{
    if (!m_status || m_handle.isEmpty())
        return false;
    constexpr qint64 block = SftpConnection::blockSize;
    while (size > 0) {
        // Whole blocks go straight from the caller's buffer; only a remainder is kept.
        if (m_pending.isEmpty() && size >= block) {
            if (!sendBlock(data, block))
                return false;
            data += block;
            size -= block;
            continue;
        }
        const qint64 take = std::min(block - m_pending.size(), size);
        m_pending.append(data, take);
        data += take;
        size -= take;
        if (m_pending.size() == block) {
            if (!sendBlock(m_pending.constData(), block))
                return false;
            m_pending.clear();
        }
    }
    return true;
}

bool SftpUploadStream::close()
{
    if (!m_status || m_handle.isEmpty())
        return false;
    if (!m_pending.isEmpty() && !sendBlock(m_pending.constData(), m_pending.size()))
        return false;
    m_pending.clear();
    while (!m_inFlight.isEmpty()) {
        if (!awaitOne())
            return false;
    }
    const QByteArray handle = std::exchange(m_handle, QByteArray());
    m_status = m_connection.closeHandle(handle);
    return m_status.ok();
}
