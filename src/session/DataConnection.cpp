#include "DataConnection.h"

#include "ControlConnection.h"
#include "TcpConnector.h"

#include <QDeadlineTimer>

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

DataConnection::DataConnection(const WaitPolicy& policy)
    : m_policy(policy)
{
}

DataConnection::~DataConnection()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    closeListener();
}

void DataConnection::closeListener()
{
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

bool DataConnection::connectTo(const QHostAddress& address, quint16 port)
{
    m_descriptor = TcpConnector::connectToAny({address}, port, m_policy, m_error);
    if (m_descriptor < 0)
        m_error = QStringLiteral("data connection: %1").arg(m_error);
    return m_descriptor >= 0;
}

bool DataConnection::listen(const QHostAddress& localAddress)
{
    sockaddr_storage storage{};
    unsigned length = 0;
    if (!TcpConnector::toSocketAddress(localAddress, 0, storage, length)) {
        m_error = QStringLiteral("cannot listen on %1").arg(localAddress.toString());
        return false;
    }
    m_listener = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<const sockaddr*>(&storage), length) != 0
        || ::listen(m_listener, 4) != 0) {
        m_error = QStringLiteral("cannot listen on %1: %2").arg(localAddress.toString(), TcpConnector::systemError(errno));
        closeListener();
        return false;
    }
    m_listenAddress = TcpConnector::localAddress(m_listener, &m_listenPort);
    return true;
}

DataConnection::Event DataConnection::accept(const QHostAddress& allowedPeer, const ControlConnection* control)
{
    const QDeadlineTimer deadline(m_policy.connectTimeout());
    for (;;) {
        if (control && control->hasPendingInput())
            return Event::ControlReady;
        pollfd watch[2] = {{m_listener, POLLIN, 0}, {control ? control->descriptor() : -1, POLLIN, 0}};
        const auto result = m_policy.wait(watch, control ? 2 : 1, static_cast<int>(deadline.remainingTime()));
        if (result == WaitPolicy::Result::Cancelled) {
            m_error = QStringLiteral("cancelled");
            return Event::Cancelled;
        }
        if (result == WaitPolicy::Result::TimedOut) {
            m_error = QStringLiteral("the server did not open the data connection (time-out)");
            return Event::TimedOut;
        }
        if (result == WaitPolicy::Result::Failed) {
            m_error = TcpConnector::systemError(errno);
            return Event::Failed;
        }
        if (watch[0].revents == 0)
            return Event::ControlReady;
        sockaddr_storage storage{};
        socklen_t length = sizeof storage;
        const int accepted = ::accept4(m_listener, reinterpret_cast<sockaddr*>(&storage), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (accepted < 0) {
            if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED)
                continue;
            m_error = QStringLiteral("data connection: %1").arg(TcpConnector::systemError(errno));
            return Event::Failed;
        }
        const QHostAddress peer = TcpConnector::fromSocketAddress(storage);
        // Only the server may deliver the data; anyone else who found the port is turned away.
        if (!peer.isEqual(allowedPeer, QHostAddress::ConvertV4MappedToIPv4)) {
            ::close(accepted);
            continue;
        }
        m_descriptor = accepted;
        closeListener();
        return Event::Done;
    }
}

DataConnection::Event DataConnection::waitFor(short events, const ControlConnection* control)
{
    if (control && control->hasPendingInput())
        return Event::ControlReady;
    pollfd watch[2] = {{m_descriptor, events, 0}, {control ? control->descriptor() : -1, POLLIN, 0}};
    const auto result = m_policy.wait(watch, control ? 2 : 1, m_policy.idleTimeout());
    switch (result) {
    case WaitPolicy::Result::Ready:
        return watch[0].revents != 0 ? Event::Done : Event::ControlReady;
    case WaitPolicy::Result::Cancelled:
        m_error = QStringLiteral("cancelled");
        return Event::Cancelled;
    case WaitPolicy::Result::TimedOut:
        m_error = QStringLiteral("the data connection stalled (time-out)");
        return Event::TimedOut;
    case WaitPolicy::Result::Failed:
        break;
    }
    m_error = TcpConnector::systemError(errno);
    return Event::Failed;
}

qint64 DataConnection::read(char* buffer, qint64 capacity, const ControlConnection* control, Event& event)
{
    for (;;) {
        // Try first: while data streams in, a poll per block would only cost time.
        const ssize_t received = ::recv(m_descriptor, buffer, static_cast<size_t>(capacity), 0);
        if (received > 0) {
            event = Event::Done;
            return received;
        }
        if (received == 0) {
            event = Event::EndOfData;
            return 0;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            m_error = QStringLiteral("data connection: %1").arg(TcpConnector::systemError(errno));
            event = Event::Failed;
            return -1;
        }
        event = waitFor(POLLIN, control);
        if (event != Event::Done)
            return -1;
    }
}

bool DataConnection::writeAll(const char* data, qint64 size, qint64& written, const ControlConnection* control, Event& event)
{
    while (written < size) {
        const ssize_t sent = ::send(m_descriptor, data + written, static_cast<size_t>(size - written), MSG_NOSIGNAL);
        if (sent > 0) {
            written += sent;
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            m_error = QStringLiteral("data connection: %1").arg(TcpConnector::systemError(errno));
            event = Event::Failed;
            return false;
        }
        event = waitFor(POLLOUT, control);
        if (event != Event::Done)
            return false;
    }
    event = Event::Done;
    return true;
}

void DataConnection::finish()
{
    if (m_descriptor < 0)
        return;
    ::shutdown(m_descriptor, SHUT_WR);
    ::close(m_descriptor);
    m_descriptor = -1;
}

void DataConnection::abort()
{
    closeListener();
    if (m_descriptor < 0)
        return;
    // A reset instead of an orderly end: the server must not take a cut-off upload as complete.
    const linger immediate{1, 0};
    ::setsockopt(m_descriptor, SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
    ::close(m_descriptor);
    m_descriptor = -1;
}
