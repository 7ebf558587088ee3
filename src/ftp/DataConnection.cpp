#include "DataConnection.h"

#include "ControlConnection.h"
#include "PlainTransport.h"
#include "TcpConnector.h"
#include "TlsTransport.h"

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
    const int descriptor = TcpConnector::connectToAny({address}, port, m_policy, m_error);
    if (descriptor < 0) {
        m_error = QStringLiteral("data connection: %1").arg(m_error);
        return false;
    }
    m_transport = std::make_unique<PlainTransport>(descriptor);
    return true;
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

DataConnection::Event DataConnection::accept(const QHostAddress& allowedPeer, ControlConnection* control)
{
    const QDeadlineTimer deadline(m_policy.connectTimeout());
    for (;;) {
        if (control && control->hasPendingInput())
            return Event::ControlReady;
        pollfd watch[2] = {{m_listener, POLLIN, 0}, {control ? control->descriptor() : -1, POLLIN, 0}};
        const auto result = m_policy.wait(watch, 2, static_cast<int>(deadline.remainingTime()));
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
        if (watch[0].revents == 0) {
            if (control && control->receiveAvailable())
                return Event::ControlReady;
            continue;
        }
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
        m_transport = std::make_unique<PlainTransport>(accepted);
        closeListener();
        return Event::Done;
    }
}

DataConnection::Event DataConnection::startTls(const QString& peerName, const QByteArray& session, ControlConnection* control)
{
    if (!m_tls)
        m_tls = TlsTransport::wrap(m_transport, peerName, session);
    if (!m_tls) {
        m_error = QStringLiteral("data connection: not connected");
        return Event::Failed;
    }
    const QDeadlineTimer deadline(m_policy.connectTimeout());
    Event waited = Event::Done;
    const auto waitForInput = [&] {
        waited = waitFor(POLLIN, control, static_cast<int>(deadline.remainingTime()));
        return waited == Event::Done;
    };
    switch (m_tls->completeHandshake(waitForInput)) {
    case TlsTransport::Handshake::Done:
        return Event::Done;
    case TlsTransport::Handshake::Failed:
        m_error = QStringLiteral("data connection: TLS handshake failed: %1").arg(m_tls->errorText());
        return Event::Failed;
    case TlsTransport::Handshake::Pending:
        break;
    }
    if (waited == Event::TimedOut)
        m_error = QStringLiteral("data connection: the TLS handshake timed out");
    return waited;
}

DataConnection::Event DataConnection::waitFor(short events, ControlConnection* control, int timeoutMilliseconds)
{
    const QDeadlineTimer deadline(timeoutMilliseconds);
    for (;;) {
        if (control && control->hasPendingInput())
            return Event::ControlReady;
        pollfd watch[2] = {{m_transport->descriptor(), m_transport->pollEvents(events), 0},
                           {control ? control->descriptor() : -1, POLLIN, 0}};
        switch (m_policy.wait(watch, 2, static_cast<int>(deadline.remainingTime()))) {
        case WaitPolicy::Result::Ready:
            if (watch[0].revents != 0)
                return Event::Done;
            // Bytes TLS keeps to itself (a session ticket) wake us without a reply.
            if (control && control->receiveAvailable())
                return Event::ControlReady;
            continue;
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
}

qint64 DataConnection::read(char* buffer, qint64 capacity, ControlConnection* control, Event& event)
{
    for (;;) {
        // Try first: while data streams in, a poll per block would only cost time.
        const qint64 received = m_transport->read(buffer, capacity);
        if (received > 0) {
            event = Event::Done;
            return received;
        }
        if (received == 0) {
            event = Event::EndOfData;
            return 0;
        }
        if (m_transport->failed()) {
            m_error = QStringLiteral("data connection: %1").arg(m_transport->errorText());
            event = Event::Failed;
            return -1;
        }
        event = waitFor(POLLIN, control, m_policy.idleTimeout());
        if (event != Event::Done)
            return -1;
    }
}

bool DataConnection::writeAll(const char* data, qint64 size, qint64& written, ControlConnection* control, Event& event)
{
    while (written < size) {
        const qint64 sent = m_transport->write(data + written, size - written);
        if (sent > 0) {
            written += sent;
            continue;
        }
        if (sent < 0) {
            m_error = QStringLiteral("data connection: %1").arg(m_transport->errorText());
            event = Event::Failed;
            return false;
        }
        event = waitFor(POLLOUT, control, m_policy.idleTimeout());
        if (event != Event::Done)
            return false;
    }
    event = Event::Done;
    return true;
}

DataConnection::Event DataConnection::finish(ControlConnection* control)
{
    if (!m_transport)
        return Event::Done;
    // Plain, the bytes are with the kernel already; TLS may still hold some, and after them its
    // close_notify, which tells the server that the upload was not cut off.
    for (;;) {
        m_transport->flush();
        if (m_transport->failed()) {
            m_error = QStringLiteral("data connection: %1").arg(m_transport->errorText());
            return Event::Failed;
        }
        if (m_transport->bytesToWrite() > 0 && m_transport->descriptor() >= 0) {
            const Event event = waitFor(POLLOUT, control, m_policy.idleTimeout());
            if (event != Event::Done)
                return event;
            continue;
        }
        if (!m_outputEnded) {
            // Every byte is out; a reply that is already here was sent before the server could
            // know that: the caller must see it first.
            if (control && control->receiveAvailable())
                return Event::ControlReady;
            m_transport->shutdownOutput();
            m_outputEnded = true;
            continue;
        }
        // TLS waits for the server's end before it closes (see TlsTransport) - unless the final
        // reply is in (no control to watch): then the server has read everything.
        if (!m_tls || !control)
            break;
        char scratch[4096];
        const qint64 received = m_transport->read(scratch, sizeof scratch);
        if (received == 0 || (received < 0 && m_transport->failed()))
            break;
        if (received > 0)
            continue;
        const Event event = waitFor(POLLIN, control, m_policy.idleTimeout());
        if (event != Event::Done)
            return event;
    }
    m_transport.reset();
    m_tls = nullptr;
    return Event::Done;
}

bool DataConnection::endConfirmed() const
{
    return !m_tls || m_tls->closeNotifyReceived();
}

void DataConnection::abort()
{
    closeListener();
    if (!m_transport)
        return;
    // A reset instead of an orderly end: the server must not take a cut-off upload as complete.
    m_transport->abort();
    m_transport.reset();
    m_tls = nullptr;
}
