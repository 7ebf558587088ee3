#include "AsciiUploadFilter.h"

#include <cstring>

AsciiUploadFilter::AsciiUploadFilter(std::unique_ptr<UploadStream> next)
    : m_next(std::move(next))
{
}

std::unique_ptr<UploadStream> AsciiUploadFilter::forType(std::unique_ptr<UploadStream> stream, TransferFlag flag)
{
    if (!stream || flag != TransferFlag::Ascii)
        return stream;
    return std::make_unique<AsciiUploadFilter>(std::move(stream));
}

bool AsciiUploadFilter::write(const char* data, qint64 size)
{
    if (size <= 0)
        return m_next->write(data, size);
    m_converted.resize(0);
    const char* at = data;
    const char* const end = data + size;
    while (at < end) {
        const auto* lineFeed = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
        const char* runEnd = lineFeed ? lineFeed : end;
        if (runEnd > at) {
            m_converted.append(at, runEnd - at);
            m_previousWasCr = runEnd[-1] == '\r';
        }
        if (!lineFeed)
            break;
        if (!m_previousWasCr)
            m_converted.append('\r');
        m_converted.append('\n');
        m_previousWasCr = false;
        at = lineFeed + 1;
    }
    return m_next->write(m_converted.constData(), m_converted.size());
}

bool AsciiUploadFilter::close()
{
    return m_next->close();
}
