#pragma once

#include "FtpProtocol.h"
#include "UploadStream.h"

#include <QByteArray>

// An open STOR. Callers hand over pieces as small as they like; they are gathered into large
// blocks before they go to the socket. The bytes go out as they come: for TYPE A, the caller
// hands over CR LF line ends (AsciiUploadFilter).
class FtpUploadStream final : public UploadStream
{
public:
    static constexpr qsizetype blockSize = 256 * 1024;

    FtpUploadStream(FtpProtocol& protocol, FtpProtocol::Transfer transfer);
    // Not closed: the transfer is broken off so the server cannot take the part for the whole.
    ~FtpUploadStream() override;

    bool write(const char* data, qint64 size) override;
    bool close() override;

    // The session's connection went away under the stream; nothing may touch it any more.
    void detach();

private:
    bool flush();

    FtpProtocol* m_protocol;
    FtpProtocol::Transfer m_transfer;
    bool m_broken = false;
    bool m_closed = false;
    QByteArray m_buffer;
};
