#pragma once

#include "Transport.h"

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

#include <functional>
#include <memory>

class QSslSocket;

// TLS 1.2 or newer as the client, on Qt's QSslSocket over a socket that is already connected.
// QSslSocket is used without an event loop: every call moves what it can and returns.
//
// The handshake never stops on a certificate problem: it completes, and the caller looks at
// handshakeErrors() and decides before it sends a byte of its own.
//
// The end of the output is a half-close: close_notify and FIN go out, and read() goes on giving
// the raw bytes the server still sends (TLS 1.3 servers may send session tickets late) until it
// closes. Closing while they arrive would answer them with a reset, and a reset makes the
// server's system drop what the server has not read yet: the end of an upload.
class TlsTransport final : public Transport
{
public:
    enum class Handshake { Done, Pending, Failed };

    // Takes over the descriptor and starts the handshake. peerName is the name the certificate
    // must carry; session, when given, is a TLS session to resume (the control connection's, for
    // a data connection: servers may refuse data connections that do not resume it).
    TlsTransport(int descriptor, const QString& peerName, const QByteArray& session = {});
    ~TlsTransport() override;
    TlsTransport(const TlsTransport&) = delete;
    TlsTransport& operator=(const TlsTransport&) = delete;

    // Puts a TLS transport in the place of a plain one, on the same descriptor; nullptr when
    // transport is not plain.
    static TlsTransport* wrap(std::unique_ptr<Transport>& transport, const QString& peerName,
                              const QByteArray& session = {});

    // Drives the handshake to its end. waitForInput is called whenever the handshake needs the
    // server's next bytes; it returns false to give up, and then Pending is returned.
    Handshake completeHandshake(const std::function<bool()>& waitForInput);

    QSslCertificate peerCertificate() const;
    // Why the system does not accept the certificate; empty when it does.
    QList<QSslError> handshakeErrors() const;
    // "TLSv1.2" or "TLSv1.3".
    QString protocolName() const;
    // The session to resume on data connections; it may change as the server sends new tickets.
    QByteArray session() const;
    // The peer ended its output with close_notify. An end of the stream without it may be a cut
    // made by anyone on the way: TCP's end is not protected.
    bool closeNotifyReceived() const { return m_closeNotify; }

    int descriptor() const override;
    short pollEvents(short wanted) const override;
    qint64 read(char* buffer, qint64 capacity) override;
    qint64 write(const char* data, qint64 size) override;
    bool hasBufferedInput() const override;
    qint64 bytesToWrite() const override;
    void flush() override;
    void shutdownOutput() override;
    void close() override;
    void abort() override;
    bool failed() const override { return !m_error.isEmpty(); }
    QString errorText() const override { return m_error; }

private:
    // Moves the handshake as far as it goes without waiting.
    Handshake continueHandshake();
    void pump();
    qint64 socketBytesToWrite() const;

    std::unique_ptr<QSslSocket> m_socket;
    bool m_peerClosed = false;
    bool m_closeNotify = false;
    // After shutdownOutput(): a second descriptor of the socket, which keeps it open for reading
    // after QSslSocket closed its own (it has no half-close), and the end of output sent on it.
    int m_halfClosed = -1;
    bool m_outputEnded = false;
    QString m_error;
};
