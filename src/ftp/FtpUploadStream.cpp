#include "FtpUploadStream.h"

FtpUploadStream::FtpUploadStream(FtpProtocol& protocol, FtpProtocol::Transfer transfer)
    : m_protocol(&protocol)
    , m_transfer(std::move(transfer))
{
    m_buffer.reserve(blockSize + blockSize / 2);
    m_protocol->setOpenUpload(this);
}

FtpUploadStream::~FtpUploadStream()
{
    if (!m_protocol || m_closed)
        return;
    m_protocol->setOpenUpload(nullptr);
    if (!m_broken)
        m_protocol->abortTransfer(m_transfer);
}

void FtpUploadStream::detach()
{
    m_protocol = nullptr;
    m_broken = true;
    m_transfer.data.reset();
}

bool FtpUploadStream::write(const char* data, qint64 size)
{
    if (!m_protocol || m_broken || m_closed)
        return false;
    if (size <= 0)
        return true;
    if (m_buffer.isEmpty() && size >= blockSize) {
        // Already a large block: straight to the socket, no copy.
        if (!m_protocol->send(m_transfer, data, size)) {
            m_broken = true;
            return false;
        }
        return true;
    } else {
        m_buffer.append(data, size);
    }
    return m_buffer.size() < blockSize || flush();
}

bool FtpUploadStream::flush()
{
    if (m_buffer.isEmpty())
        return true;
    const bool sent = m_protocol->send(m_transfer, m_buffer.constData(), m_buffer.size());
    m_buffer.resize(0); // keeps the block's memory for the next one (clear() would free it)
    if (!sent)
        m_broken = true;
    return sent;
}

bool FtpUploadStream::close()
{
    if (!m_protocol || m_closed)
        return false;
    m_closed = true;
    m_protocol->setOpenUpload(nullptr);
    if (m_broken)
        return false;
    if (!flush())
        return false;
    return m_protocol->finishSending(m_transfer);
}
