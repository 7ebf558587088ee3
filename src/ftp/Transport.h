#pragma once

#include <QString>
#include <QtGlobal>

// The byte stream under a control or data connection: plain TCP, or TLS over it. No call waits:
// when one cannot go on, the connection polls descriptor() for pollEvents() and calls again, so
// that every wait keeps honouring the time-outs and the cancel flag, and a data connection can
// watch the control connection at the same time.
class Transport
{
public:
    virtual ~Transport() = default;

    // The socket, for poll(); -1 once it is closed.
    virtual int descriptor() const = 0;
    // What to poll for to go on in the direction wanted (POLLIN, POLLOUT): TLS may also have
    // bytes of its own to send while the caller only reads.
    virtual short pollEvents(short wanted) const { return wanted; }

    // Up to capacity bytes: their number; 0 at the end of the stream; -1 when nothing has come yet,
    // or on failure (see failed()).
    virtual qint64 read(char* buffer, qint64 capacity) = 0;
    // Bytes taken (0 when there is no room now); -1 on failure.
    virtual qint64 write(const char* data, qint64 size) = 0;
    // read() would give bytes although the socket itself may have nothing new.
    virtual bool hasBufferedInput() const = 0;
    // Bytes taken by write() that have not reached the socket yet.
    virtual qint64 bytesToWrite() const = 0;
    // Hands buffered bytes to the socket, as many as it takes now.
    virtual void flush() = 0;

    // Begins the orderly end of the sending direction (for TLS the close_notify alert); its last
    // bytes may wait in bytesToWrite() until flushed.
    virtual void shutdownOutput() = 0;
    // Closes now; buffered bytes are dropped.
    virtual void close() = 0;
    // Closes with a reset, so that the peer sees a failure rather than an end.
    virtual void abort() = 0;

    virtual bool failed() const = 0;
    virtual QString errorText() const = 0;
};
