#include "ControlConnection.h"

#include "NameCodec.h"
#include "TcpConnector.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <cctype>

#include <unistd.h>

namespace {

// Qt reads at most this much ahead of us; together with maxLineLength it bounds what one
// reply can make us hold.
constexpr qint64 socketReadBuffer = 64 * 1024;

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
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->setReadBufferSize(socketReadBuffer);
    if (!m_socket->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        return fail(QStringLiteral("cannot use the connection: %1").arg(m_socket->errorString()));
    }
    return true;
}

void ControlConnection::close()
{
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_buffer.clear();
}

bool ControlConnection::isOpen() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

int ControlConnection::descriptor() const
{
    return m_socket ? static_cast<int>(m_socket->socketDescriptor()) : -1;
}

bool ControlConnection::fail(const QString& text)
{
    m_error = text;
    m_cancelled = m_policy.isCancelled();
    close();
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
    m_socket->write(line + "\r\n");
    QDeadlineTimer idle(m_policy.idleTimeout());
    while (m_socket->bytesToWrite() > 0) {
        if (m_policy.isCancelled())
            return fail(QStringLiteral("cancelled"));
        if (idle.hasExpired())
            return fail(QStringLiteral("the server takes no data (time-out)"));
        const qint64 before = m_socket->bytesToWrite();
        if (!m_socket->waitForBytesWritten(WaitPolicy::pollSliceMilliseconds)
            && m_socket->state() != QAbstractSocket::ConnectedState)
            return fail(QStringLiteral("connection lost: %1").arg(m_socket->errorString()));
        if (m_socket->bytesToWrite() < before)
            idle.setRemainingTime(m_policy.idleTimeout());
    }
    return true;
}

bool ControlConnection::hasPendingInput() const
{
    return !m_buffer.isEmpty() || (m_socket && m_socket->bytesAvailable() > 0);
}

std::optional<QByteArray> ControlConnection::readLine(int idleMilliseconds)
{
    QDeadlineTimer idle(idleMilliseconds);
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
        if (!m_socket) {
            fail(QStringLiteral("not connected"));
            return std::nullopt;
        }
        if (m_socket->bytesAvailable() > 0) {
            m_buffer += m_socket->read(maxLineLength + 2 - m_buffer.size());
            idle.setRemainingTime(idleMilliseconds);
            continue;
        }
        if (m_policy.isCancelled()) {
            fail(QStringLiteral("cancelled"));
            return std::nullopt;
        }
        if (idle.hasExpired()) {
            fail(QStringLiteral("the server did not answer (time-out)"));
            return std::nullopt;
        }
        if (!m_socket->waitForReadyRead(WaitPolicy::pollSliceMilliseconds)
            && m_socket->state() != QAbstractSocket::ConnectedState && m_socket->bytesAvailable() == 0) {
            fail(QStringLiteral("the server closed the connection"));
            return std::nullopt;
        }
    }
    fail(QStringLiteral("the server sent a reply line longer than %1 bytes").arg(maxLineLength));
    return std::nullopt;
}

std::optional<Reply> ControlConnection::readReply(int idleMilliseconds)
{
    m_error.clear();
    if (idleMilliseconds < 0)
        idleMilliseconds = m_policy.idleTimeout();
    const auto first = readLine(idleMilliseconds);
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
    for (qsizetype count = 1;; ++count) {
        if (count >= maxReplyLines) {
            fail(QStringLiteral("the server sent a reply of more than %1 lines").arg(maxReplyLines));
            return std::nullopt;
        }
        const auto line = readLine(idleMilliseconds);
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
