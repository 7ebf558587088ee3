#include "RawServer.h"

#include "VsftpdFixture.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int sliceMilliseconds = 50;
constexpr int dataWaitMilliseconds = 10'000;

int listenOnLoopback(quint16& port)
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(descriptor, 8) != 0) {
        ::close(descriptor);
        return -1;
    }
    ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return descriptor;
}

// Waits for events on descriptor in slices, so that stop is seen; false when stopping.
bool waitFor(int descriptor, short events, const std::atomic<bool>& stop, int limitMilliseconds = -1)
{
    int waited = 0;
    while (!stop) {
        pollfd watch{descriptor, events, 0};
        if (::poll(&watch, 1, sliceMilliseconds) > 0)
            return true;
        waited += sliceMilliseconds;
        if (limitMilliseconds >= 0 && waited >= limitMilliseconds)
            return false;
    }
    return false;
}

bool sendAll(int descriptor, const QByteArray& bytes, const std::atomic<bool>& stop)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        if (!waitFor(descriptor, POLLOUT, stop))
            return false;
        const ssize_t count = ::send(descriptor, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (count <= 0)
            return false;
        sent += count;
    }
    return true;
}

// One self-signed certificate for every TLS script of the run.
QSslConfiguration serverConfiguration()
{
    static const QSslConfiguration configuration = [] {
        static QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("server.pem"));
        QString error;
        QSslConfiguration result = QSslConfiguration::defaultConfiguration();
        QFile pem(path);
        if (VsftpdFixture::makeCertificate(path, QStringLiteral("localhost"), error) && pem.open(QIODevice::ReadOnly)) {
            const QByteArray both = pem.readAll();
            result.setLocalCertificate(QSslCertificate(both));
            result.setPrivateKey(QSslKey(both, QSsl::Ec));
        }
        result.setPeerVerifyMode(QSslSocket::VerifyNone);
        return result;
    }();
    return configuration;
}

} // namespace

RawServer::RawServer(Script script)
{
    m_listener = listenOnLoopback(m_port);
    if (!script || m_listener < 0)
        return;
    m_thread.reset(QThread::create([this, script = std::move(script)] {
        if (!waitFor(m_listener, POLLIN, m_stop))
            return;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        // Replies go out when sent, not held back until the last one is acknowledged.
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Connection connection(client, m_stop);
        script(connection);
        if (connection.m_dataListener >= 0)
            ::close(connection.m_dataListener);
        ::close(client);
    }));
    m_thread->start();
}

RawServer::~RawServer()
{
    m_stop = true;
    if (m_thread)
        m_thread->wait();
    if (m_listener >= 0)
        ::close(m_listener);
}

bool RawServer::greetAndLogin(Connection& connection, bool tls)
{
    return connection.send("220 scripted server\r\n")
        && (!tls || (connection.expect("AUTH") && connection.send("234 go ahead\r\n") && connection.startTls()))
        && connection.expect("USER") && connection.send("230 in\r\n") && connection.expect("FEAT")
        && connection.send("211-Features:\r\n SIZE\r\n211 End\r\n");
}

RawServer::Connection::~Connection() = default;

bool RawServer::Connection::send(const QByteArray& bytes, int descriptor)
{
    descriptor = descriptor < 0 ? m_descriptor : descriptor;
    const auto tls = m_tls.find(descriptor);
    if (tls == m_tls.end())
        return sendAll(descriptor, bytes, m_stop);
    QSslSocket& socket = *tls->second;
    socket.write(bytes);
    while ((socket.bytesToWrite() > 0 || socket.encryptedBytesToWrite() > 0) && !m_stop
           && socket.state() == QAbstractSocket::ConnectedState)
        socket.waitForBytesWritten(sliceMilliseconds);
    return socket.bytesToWrite() == 0 && socket.encryptedBytesToWrite() == 0;
}

bool RawServer::Connection::startTls(int descriptor)
{
    descriptor = descriptor < 0 ? m_descriptor : descriptor;
    auto socket = std::make_unique<QSslSocket>();
    socket->setSslConfiguration(serverConfiguration());
    // A descriptor of its own: the script closes the one it has, as for plain connections.
    if (!socket->setSocketDescriptor(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0)))
        return false;
    socket->startServerEncryption();
    while (!socket->isEncrypted() && !m_stop && socket->state() == QAbstractSocket::ConnectedState)
        socket->waitForEncrypted(sliceMilliseconds);
    const bool encrypted = socket->isEncrypted();
    m_tls[descriptor] = std::move(socket);
    return encrypted;
}

std::optional<QByteArray> RawServer::Connection::receive(int descriptor)
{
    if (const auto tls = m_tls.find(descriptor); tls != m_tls.end()) {
        QSslSocket& socket = *tls->second;
        while (socket.bytesAvailable() == 0 && !m_stop && socket.state() == QAbstractSocket::ConnectedState)
            socket.waitForReadyRead(sliceMilliseconds);
        return m_stop ? std::nullopt : std::optional(socket.readAll());
    }
    if (!waitFor(descriptor, POLLIN, m_stop))
        return std::nullopt;
    char chunk[64 * 1024];
    const ssize_t count = ::recv(descriptor, chunk, sizeof chunk, 0);
    return QByteArray(chunk, std::max<ssize_t>(count, 0));
}

std::optional<QByteArray> RawServer::Connection::readLine()
{
    for (;;) {
        const qsizetype end = m_buffer.indexOf("\r\n");
        if (end >= 0) {
            const QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 2);
            return line;
        }
        const auto bytes = receive(m_descriptor);
        if (!bytes || bytes->isEmpty())
            return std::nullopt;
        m_buffer.append(*bytes);
    }
}

void RawServer::Connection::receiveData(int descriptor, qint64 limit)
{
    for (qint64 received = 0; limit < 0 || received < limit;) {
        const auto bytes = receive(descriptor);
        if (!bytes || bytes->isEmpty())
            return;
        received += bytes->size();
    }
}

void RawServer::Connection::closeData(int descriptor, bool closeNotify)
{
    const auto tls = m_tls.extract(descriptor); // destroyed after the end: it must send nothing more
    if (tls && closeNotify) {
        tls.mapped()->disconnectFromHost();
        while (!m_stop && tls.mapped()->state() != QAbstractSocket::UnconnectedState)
            tls.mapped()->waitForDisconnected(sliceMilliseconds);
    }
    ::shutdown(descriptor, SHUT_RDWR);
    ::close(descriptor);
}

std::optional<QByteArray> RawServer::Connection::expect(const QByteArray& verb)
{
    for (;;) {
        const auto line = readLine();
        if (!line || line->startsWith(verb))
            return line;
        if (!send("200 ok\r\n"))
            return std::nullopt;
    }
}

quint16 RawServer::Connection::listenForData()
{
    quint16 port = 0;
    m_dataListener = listenOnLoopback(port);
    return port;
}

void RawServer::Connection::readUntilGone()
{
    while (readLine()) {
    }
}

bool RawServer::Connection::offerExtendedPassive()
{
    if (!expect("EPSV"))
        return false;
    const quint16 port = listenForData();
    return send("229 Entering Extended Passive Mode (|||" + QByteArray::number(port) + "|)\r\n");
}

int RawServer::Connection::acceptData()
{
    if (!waitFor(m_dataListener, POLLIN, m_stop, dataWaitMilliseconds))
        return -1;
    return ::accept4(m_dataListener, nullptr, nullptr, SOCK_CLOEXEC);
}
