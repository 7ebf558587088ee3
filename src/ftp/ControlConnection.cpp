#include "ControlConnection.h"

#include "NameCodec.h"
#include "PlainTransport.h"
#include "TcpConnector.h"
#include "TlsTransport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include <poll.h>

namespace {

bool isReplyCode(const QByteArray& line)
{
    return line.size() >= 3 && std::isdigit(static_cast<uchar>(line[0])) && std::isdigit(static_cast<uchar>(line[1]))
        && std::isdigit(static_cast<uchar>(line[2]));
}

} // namespace

ControlConnection::ControlConnection(const WaitPolicy& policy)
    : m_policy(policy)
{
}

ControlConnection::~ControlConnection()
{
    close();
}

bool ControlConnection::open(const QString& host, quint16 port)
{
    close();
    m_error.clear();
    m_cancelled = false;
    const auto addresses = TcpConnector::resolve(host, m_policy, m_error);
    if (!addresses) {
        m_cancelled = m_policy.isCancelled();
        return false;
    }
    const int descriptor = TcpConnector::connectToAny(*addresses, port, m_policy, m_error);
    if (descriptor < 0) {
        m_cancelled = m_policy.isCancelled();
        return false;
    }
    m_peer = TcpConnector::peerAddress(descriptor);
    m_local = TcpConnector::localAddress(descriptor);
    m_transport = std::make_unique<PlainTransport>(descriptor);
    return true;
}

void ControlConnection::close()
{
    m_tls = nullptr;
    m_transport.reset();
    m_buffer.clear();
}

bool ControlConnection::isOpen() const
{
    return m_transport && m_transport->descriptor() >= 0;
}

int ControlConnection::descriptor() const
{
    return m_transport ? m_transport->descriptor() : -1;
}

bool ControlConnection::fail(const QString& text)
{
    m_error = text;
    m_cancelled = m_policy.isCancelled();
    close();
    return false;
}

bool ControlConnection::waitFor(short events, const QDeadlineTimer& deadline, const QString& timeoutText)
{
    pollfd watch{descriptor(), m_transport->pollEvents(events), 0};
    switch (m_policy.wait(&watch, 1, static_cast<int>(deadline.remainingTime()))) {
    case WaitPolicy::Result::Ready:
        return true;
    case WaitPolicy::Result::Cancelled:
        return fail(QStringLiteral("cancelled"));
    case WaitPolicy::Result::TimedOut:
        return fail(timeoutText);
    case WaitPolicy::Result::Failed:
        break;
    }
    return fail(QStringLiteral("connection lost: %1").arg(TcpConnector::systemError(errno)));
}

bool ControlConnection::startTls(const QString& peerName)
{
    m_error.clear();
    if (!isOpen())
        return fail(QStringLiteral("not connected"));
    // Whatever came after the server's yes was sent in plain text by anyone on the way; taken as
    // part of the encrypted conversation, it would be a forged reply.
    if (!m_buffer.isEmpty())
        return fail(QStringLiteral("the server sent more after agreeing to TLS"));
    m_tls = TlsTransport::wrap(m_transport, peerName);
    if (!m_tls)
        return fail(QStringLiteral("not connected"));
    const QDeadlineTimer deadline(m_policy.connectTimeout());
    const auto waitForInput = [&] { return waitFor(POLLIN, deadline, QStringLiteral("the TLS handshake timed out")); };
    switch (m_tls->completeHandshake(waitForInput)) {
    case TlsTransport::Handshake::Done:
        return true;
    case TlsTransport::Handshake::Failed:
        return fail(QStringLiteral("TLS handshake failed: %1").arg(m_tls->errorText()));
    case TlsTransport::Handshake::Pending:
        break;
    }
    return false;
}

bool ControlConnection::isSafeCommandLine(const QByteArray& line)
{
    return !line.contains('\r') && !line.contains('\n') && !line.contains('\0');
}

bool ControlConnection::send(const QByteArray& line)
{
    m_error.clear();
    if (!isSafeCommandLine(line)) {
        m_error = QStringLiteral("refused to send a command holding a line break or NUL");
        return false; // nothing went out: the connection stays usable
    }
    if (!isOpen())
        return fail(QStringLiteral("not connected"));
    const QByteArray data = line + "\r\n";
    qint64 written = 0;
    QDeadlineTimer idle(m_policy.idleTimeout());
    for (;;) {
        if (written < data.size()) {
            const qint64 sent = m_transport->write(data.constData() + written, data.size() - written);
            if (sent < 0)
                return fail(QStringLiteral("connection lost: %1").arg(m_transport->errorText()));
            if (sent > 0) {
                written += sent;
                idle.setRemainingTime(m_policy.idleTimeout());
                continue;
            }
        } else {
            m_transport->flush();
            if (m_transport->failed())
                return fail(QStringLiteral("connection lost: %1").arg(m_transport->errorText()));
            if (m_transport->bytesToWrite() == 0)
                return true;
        }
        if (!waitFor(POLLOUT, idle, QStringLiteral("the server takes no data (time-out)")))
            return false;
    }
}

bool ControlConnection::hasPendingInput() const
{
    return !m_buffer.isEmpty() || (m_transport && m_transport->hasBufferedInput());
}

qint64 ControlConnection::receive()
{
    // Never more than one line's worth ahead: together with maxLineLength this bounds what a
    // reply can make us hold.
    const qsizetype before = m_buffer.size();
    const qsizetype room = maxLineLength + 2 - before;
    m_buffer.resize(before + room);
    const qint64 received = m_transport->read(m_buffer.data() + before, room);
    m_buffer.resize(before + std::max<qsizetype>(0, received));
    return received;
}

bool ControlConnection::receiveAvailable()
{
    if (hasPendingInput() || !isOpen())
        return true;
    return receive() >= 0 || m_transport->failed();
}

std::optional<QByteArray> ControlConnection::readLine(const QDeadlineTimer& deadline)
{
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0) {
            QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.size() > maxLineLength)
                break;
            return line;
        }
        if (m_buffer.size() > maxLineLength)
            break;
        if (!m_transport) {
            fail(QStringLiteral("not connected"));
            return std::nullopt;
        }
        const qint64 received = receive();
        if (received > 0)
            continue;
        if (received == 0) {
            fail(QStringLiteral("the server closed the connection"));
            return std::nullopt;
        }
        if (m_transport->failed()) {
            fail(QStringLiteral("connection lost: %1").arg(m_transport->errorText()));
            return std::nullopt;
        }
        if (!waitFor(POLLIN, deadline, QStringLiteral("the server did not answer (time-out)")))
            return std::nullopt;
    }
    fail(QStringLiteral("the server sent a reply line longer than %1 bytes").arg(maxLineLength));
    return std::nullopt;
}

std::optional<Reply> ControlConnection::readReply(int idleMilliseconds)
{
    m_error.clear();
    if (idleMilliseconds < 0)
        idleMilliseconds = m_policy.idleTimeout();
    // Bytes that trickle in do not stretch the wait: a line, and then the rest of the reply, each
    // come within the idle time-out, however the server spaces them.
    const auto first = readLine(QDeadlineTimer(idleMilliseconds));
    if (!first)
        return std::nullopt;
    if (!isReplyCode(*first) || (first->size() > 3 && first->at(3) != '-' && first->at(3) != ' ')) {
        fail(QStringLiteral("the server sent no valid reply: %1").arg(NameCodec::decode(first->left(80))));
        return std::nullopt;
    }
    Reply reply;
    reply.code = first->left(3).toInt();
    reply.keepLine(QByteArrayView(*first).sliced(qMin<qsizetype>(4, first->size())));
    if (first->size() <= 3 || first->at(3) != '-')
        return reply;

    // Multi-line: runs until a line that starts with the same code and a blank (or is the code).
    // The reply keeps only its first few KiB; the line count bounds how long a server may go on.
    const QByteArray code = first->left(3);
    const QDeadlineTimer rest(idleMilliseconds);
    for (qsizetype count = 1;; ++count) {
        if (count >= maxReplyLines) {
            fail(QStringLiteral("the server sent a reply of more than %1 lines").arg(maxReplyLines));
            return std::nullopt;
        }
        const auto line = readLine(rest);
        if (!line)
            return std::nullopt;
        const bool hasCode = line->startsWith(code);
        if (hasCode && (line->size() == 3 || line->at(3) == ' ')) {
            reply.keepLine(QByteArrayView(*line).sliced(qMin<qsizetype>(4, line->size())));
            return reply;
        }
        if (hasCode && line->size() > 3 && line->at(3) == '-')
            reply.keepLine(QByteArrayView(*line).sliced(4));
        else
            reply.keepLine(*line);
    }
}
