#pragma once

#include "FtpProtocol.h"
#include "FtpSession.h"

#include <QByteArray>

// An open STOR. Callers hand over pieces as small as they like (the upload sends 255 bytes at a
// time); they are gathered into large blocks before they go to the socket. In ASCII mode every
// line end goes out as CR LF, as the TYPE A wire format requires: a bare LF gains its CR, a
// CR LF stays as it is, also when a piece ends between the two.
class FtpUploadStream final : public UploadStream
{
public:
    static constexpr qsizetype blockSize = 256 * 1024;

    FtpUploadStream(FtpProtocol& protocol, FtpProtocol::Transfer transfer, TransferFlag flag);
    // Not closed: the transfer is broken off so the server cannot take the part for the whole.
    ~FtpUploadStream() override;

    bool write(const char* data, qint64 size) override;
    bool close() override;

    // The session's connection went away under the stream; nothing may touch it any more.
    void detach();

private:
    bool flush();
    void appendAscii(const char* data, qint64 size);

    FtpProtocol* m_protocol;
    FtpProtocol::Transfer m_transfer;
    bool m_ascii;
    bool m_previousWasCr = false;
    bool m_broken = false;
    bool m_closed = false;
    QByteArray m_buffer;
};
