#include "RawServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
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

} // namespace

RawServer::RawServer(Script script)
{
    m_listener = listenOnLoopback(m_port);
    if (!script || m_listener < 0)
        return;
    m_thread = std::thread([this, script = std::move(script)] {
        if (!waitFor(m_listener, POLLIN, m_stop))
            return;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        Connection connection(client, m_stop);
        script(connection);
        if (connection.m_dataListener >= 0)
            ::close(connection.m_dataListener);
        ::close(client);
    });
}

RawServer::~RawServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

bool RawServer::greetAndLogin(Connection& connection)
{
    return connection.send("220 scripted server\r\n") && connection.expect("USER") && connection.send("230 in\r\n")
        && connection.expect("FEAT") && connection.send("211-Features:\r\n SIZE\r\n211 End\r\n");
}

bool RawServer::Connection::send(const QByteArray& bytes, int descriptor)
{
    return sendAll(descriptor < 0 ? m_descriptor : descriptor, bytes, m_stop);
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
        if (!waitFor(m_descriptor, POLLIN, m_stop))
            return std::nullopt;
        char chunk[4096];
        const ssize_t count = ::recv(m_descriptor, chunk, sizeof chunk, 0);
        if (count <= 0)
            return std::nullopt;
        m_buffer.append(chunk, count);
    }
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
