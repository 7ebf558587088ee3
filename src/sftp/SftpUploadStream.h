#pragma once

#include "SftpTypes.h"

#include <QByteArray>
#include <QHash>

class SftpConnection;

// An open upload: the caller hands the file over piece by piece, the stream sends blocks of
// SftpConnection::blockSize with many in flight and checks every reply. Made by
// SftpConnection::openForUpload(); it must not outlive its connection, and nothing else may use
// the connection until it is closed or destroyed.
class SftpUploadStream
{
public:
    ~SftpUploadStream(); // a stream not closed is dropped: what it left in flight is not waited for
    SftpUploadStream(const SftpUploadStream&) = delete;
    SftpUploadStream& operator=(const SftpUploadStream&) = delete;

    // False once the server refused a block or the connection failed; status() says why.
    bool write(const char* data, qint64 size);
    // Sends the rest and closes the file; true only when the server confirmed every block and the
    // close.
    bool close();
    SftpStatus status() const { return m_status; }
    qint64 bytesConfirmed() const { return m_confirmed; }

private:
    friend class SftpConnection;
    SftpUploadStream(SftpConnection& connection, QByteArray path, QByteArray handle, qint64 offset = 0);

    bool sendBlock(const char* data, qint64 size);
    // Waits for one reply to a block in flight.
    bool awaitOne();
    void drop();

    SftpConnection& m_connection;
    QByteArray m_path;
    QByteArray m_handle; // empty once closed or dropped
    QByteArray m_pending; // less than one block
    qint64 m_offset = 0;
    qint64 m_confirmed = 0;
    QHash<quint32, qint64> m_inFlight; // request id and block size
    SftpStatus m_status;
};
