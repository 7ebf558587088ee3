#pragma once

#include "Reply.h"
#include "WaitPolicy.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QString>

#include <memory>
#include <optional>

class TlsTransport;
class Transport;

// The control connection: sends command lines and frames the replies ("123-" continues a reply
// until a line starts with "123 "). Blocking, on the calling thread; every wait honours the
// policy's idle time-out and cancel flag. Plain TCP until startTls() puts TLS under it. Input is
// bounded: a reply line longer than maxLineLength or a reply of more than maxReplyLines lines is
// a protocol error, and a reply keeps only its first few KiB of text (see Reply), so a hostile
// server cannot make us hold more than that. After any transport or protocol error the connection
// is closed: the reply stream can no longer be trusted to line up with the commands.
class ControlConnection
{
public:
    static constexpr qsizetype maxLineLength = 64 * 1024;
    static constexpr qsizetype maxReplyLines = 10'000;

    explicit ControlConnection(const WaitPolicy& policy);
    ~ControlConnection();
    ControlConnection(const ControlConnection&) = delete;
    ControlConnection& operator=(const ControlConnection&) = delete;

    bool open(const QString& host, quint16 port);
    void close();
    bool isOpen() const;

    // Puts TLS under the connection, once the server agreed to AUTH TLS: the handshake, within
    // the connect time-out. peerName is the name the certificate must carry. On failure the
    // connection is closed.
    bool startTls(const QString& peerName);
    // The TLS layer once startTls() succeeded, else nullptr.
    const TlsTransport* tls() const { return m_tls; }

    // Sends one command; a line holding CR, LF or NUL is refused before anything is sent, so a
    // name can never smuggle a second command onto the wire.
    bool send(const QByteArray& line);
    static bool isSafeCommandLine(const QByteArray& line);

    // The next complete reply, or nullopt (see errorText()): its first line must come within the
    // idle time-out, and the rest of a multi-line reply within the idle time-out of that line.
    // idleMilliseconds replaces the policy's idle time-out when given.
    std::optional<Reply> readReply(int idleMilliseconds = -1);
    // Something has arrived that readReply() would consume, without waiting.
    bool hasPendingInput() const;
    // Takes in what the socket holds, without waiting, after poll() found it readable; true when
    // readReply() now has something to work on (input, or the end of the connection). False
    // when the bytes were TLS's own and no reply text came with them.
    bool receiveAvailable();

    int descriptor() const;
    QHostAddress peerAddress() const { return m_peer; }
    QHostAddress localAddress() const { return m_local; }
    QString errorText() const { return m_error; }
    bool wasCancelled() const { return m_cancelled; }

private:
    std::optional<QByteArray> readLine(const QDeadlineTimer& deadline);
    // One read into the buffer, without waiting; the transport's read() result.
    qint64 receive();
    // Waits until the socket can go on in the direction given; false (and closed) on time-out,
    // cancel or failure.
    bool waitFor(short events, const QDeadlineTimer& deadline, const QString& timeoutText);
    bool fail(const QString& text);

    const WaitPolicy& m_policy;
    std::unique_ptr<Transport> m_transport;
    TlsTransport* m_tls = nullptr; // m_transport, when it is TLS
    QByteArray m_buffer;
    QHostAddress m_peer;
    QHostAddress m_local;
    QString m_error;
    bool m_cancelled = false;
};
