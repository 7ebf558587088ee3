#include "TcpConnector.h"

#include <QDeadlineTimer>
#include <QHostInfo>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TcpConnector {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

std::optional<QList<QHostAddress>> resolve(const QString& host, const WaitPolicy& policy, QString& error)
{
    QString name = host.trimmed();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    if (name.isEmpty()) {
        error = QStringLiteral("no server address");
        return std::nullopt;
    }
    if (QHostAddress literal; literal.setAddress(name))
        return QList<QHostAddress>{literal};

    // The lookup blocks in the resolver; it runs on its own thread so that this one can keep an
    // eye on the cancel flag. A lookup given up on finishes there and is thrown away.
    auto answer = std::make_shared<std::promise<QHostInfo>>();
    std::future<QHostInfo> future = answer->get_future();
    std::thread([answer, name] { answer->set_value(QHostInfo::fromName(name)); }).detach();
    const QDeadlineTimer deadline(policy.connectTimeout());
    while (future.wait_for(std::chrono::milliseconds(WaitPolicy::pollSliceMilliseconds)) != std::future_status::ready) {
        if (policy.isCancelled()) {
            error = QStringLiteral("cancelled");
            return std::nullopt;
        }
        if (deadline.hasExpired()) {
            error = QStringLiteral("looking up %1 timed out").arg(name);
            return std::nullopt;
        }
    }
    const QHostInfo info = future.get();
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        error = QStringLiteral("cannot find server %1: %2").arg(name, info.errorString());
        return std::nullopt;
    }
    return info.addresses();
}

bool toSocketAddress(const QHostAddress& address, quint16 port, sockaddr_storage& storage, unsigned& length)
{
    std::memset(&storage, 0, sizeof storage);
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4 && address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(ipv4);
        length = sizeof(sockaddr_in);
        return true;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        if (!address.scopeId().isEmpty()) {
            bool numeric = false;
            const uint scope = address.scopeId().toUInt(&numeric);
            in6->sin6_scope_id = numeric ? scope : ::if_nametoindex(address.scopeId().toLatin1().constData());
        }
        length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

QHostAddress fromSocketAddress(const sockaddr_storage& storage, quint16* port)
{
    if (storage.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
        if (port)
            *port = ntohs(in->sin_port);
        return QHostAddress(ntohl(in->sin_addr.s_addr));
    }
    if (storage.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        if (port)
            *port = ntohs(in6->sin6_port);
        return QHostAddress(reinterpret_cast<const sockaddr*>(in6));
    }
    return {};
}

QHostAddress localAddress(int descriptor, quint16* port)
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return {};
    return fromSocketAddress(storage, port);
}

QHostAddress peerAddress(int descriptor, quint16* port)
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return {};
    return fromSocketAddress(storage, port);
}

namespace {

// One attempt; -1 with error set when it fails or the deadline passes.
int connectOne(const QHostAddress& address, quint16 port, const WaitPolicy& policy,
               const QDeadlineTimer& deadline, QString& error)
{
    sockaddr_storage storage{};
    unsigned length = 0;
    if (!toSocketAddress(address, port, storage, length)) {
        error = QStringLiteral("unusable address %1").arg(address.toString());
        return -1;
    }
    const int descriptor = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        error = systemError(errno);
        return -1;
    }
    const QString target = QStringLiteral("%1 port %2").arg(address.toString()).arg(port);
    if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&storage), length) != 0 && errno != EINPROGRESS) {
        error = QStringLiteral("cannot connect to %1: %2").arg(target, systemError(errno));
        ::close(descriptor);
        return -1;
    }
    pollfd watch{descriptor, POLLOUT, 0};
    const auto result = policy.wait(&watch, 1, static_cast<int>(deadline.remainingTime()));
    if (result != WaitPolicy::Result::Ready) {
        error = result == WaitPolicy::Result::Cancelled ? QStringLiteral("cancelled")
                                                        : QStringLiteral("connecting to %1 timed out").arg(target);
        ::close(descriptor);
        return -1;
    }
    int socketError = 0;
    socklen_t errorLength = sizeof socketError;
    ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &socketError, &errorLength);
    if (socketError != 0) {
        error = QStringLiteral("cannot connect to %1: %2").arg(target, systemError(socketError));
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

} // namespace

int connectToAny(const QList<QHostAddress>& addresses, quint16 port, const WaitPolicy& policy, QString& error)
{
    const QDeadlineTimer deadline(policy.connectTimeout());
    for (const QHostAddress& address : addresses) {
        const int descriptor = connectOne(address, port, policy, deadline, error);
        if (descriptor >= 0)
            return descriptor;
        if (policy.isCancelled() || deadline.hasExpired())
            break;
    }
    if (error.isEmpty())
        error = QStringLiteral("no address to connect to");
    return -1;
}

} // namespace TcpConnector
