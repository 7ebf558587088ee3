#include "TlsTransport.h"

#include "PlainTransport.h"

#include <QSslConfiguration>
#include <QSslSocket>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// QSslSocket moves data through buffers of its own. Kept below 128 KiB per step, each of them
// stays on the heap; larger steps are mapped and unmapped every time, which measured at a third
// of the rate. The read bound also limits what a server can make us hold.
constexpr qint64 readBufferSize = 64 * 1024;
constexpr qint64 writeSlice = 64 * 1024;

} // namespace

TlsTransport::TlsTransport(int descriptor, const QString& peerName, const QByteArray& session)
    : m_socket(std::make_unique<QSslSocket>())
{
    if (!QSslSocket::supportsSsl()) {
        ::close(descriptor);
        m_error = QStringLiteral("TLS is not available (no TLS backend for Qt: %1)").arg(QSslSocket::activeBackend());
        return;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // Needed for session() to hand the session out, and for a given session to be resumed.
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    if (!session.isEmpty())
        configuration.setSessionTicket(session);
    m_socket->setSslConfiguration(configuration);
    m_socket->setPeerVerifyName(peerName);
    m_socket->setReadBufferSize(readBufferSize);
    QObject::connect(m_socket.get(), &QAbstractSocket::errorOccurred, m_socket.get(), [this](QAbstractSocket::SocketError error) {
        // A wait without news reports a time-out; the connection is fine.
        if (error == QAbstractSocket::SocketTimeoutError)
            return;
        // The peer's close_notify or its end of the stream: the end of the data, not a failure.
        if (error == QAbstractSocket::RemoteHostClosedError) {
            m_peerClosed = true;
            return;
        }
        if (m_error.isEmpty())
            m_error = m_socket->errorString();
    });
    QObject::connect(m_socket.get(), &QSslSocket::alertReceived, m_socket.get(),
                     [this](QSsl::AlertLevel, QSsl::AlertType type, const QString&) {
                         if (type == QSsl::AlertType::CloseNotify)
                             m_closeNotify = true;
                     });
    if (!m_socket->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        m_error = QStringLiteral("cannot use the connection: %1").arg(m_socket->errorString());
        return;
    }
    m_socket->ignoreSslErrors(); // see the class comment: the caller judges the certificate
    m_socket->startClientEncryption();
    flush();
}

TlsTransport::~TlsTransport()
{
    close();
}

TlsTransport* TlsTransport::wrap(std::unique_ptr<Transport>& transport, const QString& peerName,
                                 const QByteArray& session)
{
    auto* plain = dynamic_cast<PlainTransport*>(transport.get());
    if (!plain)
        return nullptr;
    auto tls = std::make_unique<TlsTransport>(plain->release(), peerName, session);
    TlsTransport* result = tls.get();
    transport = std::move(tls);
    return result;
}

TlsTransport::Handshake TlsTransport::completeHandshake(const std::function<bool()>& waitForInput)
{
    for (;;) {
        const Handshake state = continueHandshake();
        if (state != Handshake::Pending || !waitForInput())
            return state;
    }
}

TlsTransport::Handshake TlsTransport::continueHandshake()
{
    if (m_socket->isEncrypted())
        return Handshake::Done;
    if (!failed() && m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->waitForEncrypted(0);
        flush();
    }
    if (m_socket->isEncrypted())
        return Handshake::Done;
    if (failed())
        return Handshake::Failed;
    if (m_peerClosed || m_socket->state() != QAbstractSocket::ConnectedState) {
        m_error = QStringLiteral("the server closed the connection during the TLS handshake");
        return Handshake::Failed;
    }
    return Handshake::Pending;
}

QSslCertificate TlsTransport::peerCertificate() const
{
    return m_socket->peerCertificate();
}

QList<QSslError> TlsTransport::handshakeErrors() const
{
    return m_socket->sslHandshakeErrors();
}

QString TlsTransport::protocolName() const
{
    switch (m_socket->sessionProtocol()) {
    case QSsl::TlsV1_2:
        return QStringLiteral("TLSv1.2");
    case QSsl::TlsV1_3:
        return QStringLiteral("TLSv1.3");
    default:
        break;
    }
    return QStringLiteral("TLS");
}

QByteArray TlsTransport::session() const
{
    return m_socket->sslConfiguration().sessionTicket();
}

int TlsTransport::descriptor() const
{
    return m_halfClosed >= 0 ? m_halfClosed : static_cast<int>(m_socket->socketDescriptor());
}

short TlsTransport::pollEvents(short wanted) const
{
    if (!m_socket->isEncrypted())
        wanted |= POLLIN; // the server's part of the handshake
    return bytesToWrite() > 0 ? static_cast<short>(wanted | POLLOUT) : wanted;
}

void TlsTransport::pump()
{
    // Without an event loop the socket moves bytes only inside its wait functions; with no time
    // to wait, this reads and decrypts what the kernel holds and sends what is buffered.
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->waitForReadyRead(0);
}

qint64 TlsTransport::read(char* buffer, qint64 capacity)
{
    if (m_halfClosed >= 0) {
        for (;;) {
            const ssize_t received = ::recv(m_halfClosed, buffer, static_cast<size_t>(capacity), 0);
            if (received >= 0)
                return received;
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                m_error = QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
    }
    if (m_socket->bytesAvailable() == 0)
        pump();
    if (m_socket->bytesAvailable() > 0)
        return m_socket->read(buffer, capacity);
    if (failed())
        return -1;
    if (m_peerClosed || m_socket->state() != QAbstractSocket::ConnectedState)
        return 0;
    return -1;
}

qint64 TlsTransport::write(const char* data, qint64 size)
{
    if (failed())
        return -1;
    if (m_peerClosed || m_socket->state() != QAbstractSocket::ConnectedState) {
        m_error = QStringLiteral("the connection is closed");
        return -1;
    }
    // One slice at a time, the next only when the last one has gone to the kernel: this keeps
    // the socket's buffers small (see writeSlice).
    flush();
    if (bytesToWrite() > 0)
        return 0;
    const qint64 taken = m_socket->write(data, qMin(size, writeSlice));
    flush();
    return taken < 0 ? -1 : taken;
}

bool TlsTransport::hasBufferedInput() const
{
    return m_socket->bytesAvailable() > 0;
}

qint64 TlsTransport::socketBytesToWrite() const
{
    return m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite();
}

qint64 TlsTransport::bytesToWrite() const
{
    return socketBytesToWrite() + (m_halfClosed >= 0 && !m_outputEnded ? 1 : 0);
}

void TlsTransport::flush()
{
    if (m_socket->state() == QAbstractSocket::ConnectedState || m_socket->state() == QAbstractSocket::ClosingState)
        m_socket->flush();
    if (m_halfClosed >= 0 && !m_outputEnded && socketBytesToWrite() == 0) {
        ::shutdown(m_halfClosed, SHUT_WR);
        m_outputEnded = true;
    }
}

void TlsTransport::shutdownOutput()
{
    if (m_halfClosed >= 0 || descriptor() < 0)
        return;
    pump();
    m_halfClosed = ::fcntl(descriptor(), F_DUPFD_CLOEXEC, 0);
    if (m_halfClosed < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    // close_notify; the socket closes its descriptor once that is out.
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->disconnectFromHost();
    flush();
}

void TlsTransport::close()
{
    m_socket->abort();
    if (m_halfClosed >= 0)
        ::close(m_halfClosed);
    m_halfClosed = -1;
}

void TlsTransport::abort()
{
    const int socket = descriptor();
    if (socket >= 0) {
        const linger immediate{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
    }
    close();
}
