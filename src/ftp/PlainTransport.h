#pragma once

#include "Transport.h"

// Plain TCP straight on the socket descriptor with recv/send: no buffer of its own, so the
// bytes are copied once between the kernel and the caller.
class PlainTransport final : public Transport
{
public:
    // Takes over a connected, non-blocking descriptor.
    explicit PlainTransport(int descriptor);
    ~PlainTransport() override;
    PlainTransport(const PlainTransport&) = delete;
    PlainTransport& operator=(const PlainTransport&) = delete;

    // Gives the descriptor up without closing it (for TLS to take over); -1 afterwards.
    int release();

    int descriptor() const override { return m_descriptor; }
    qint64 read(char* buffer, qint64 capacity) override;
    qint64 write(const char* data, qint64 size) override;
    bool hasBufferedInput() const override { return false; }
    qint64 bytesToWrite() const override { return 0; }
    void flush() override {}
    void shutdownOutput() override;
    void close() override;
    void abort() override;
    bool failed() const override { return !m_error.isEmpty(); }
    QString errorText() const override { return m_error; }

private:
    int m_descriptor;
    QString m_error;
};
