#include "PlainTransport.h"

#include "TcpConnector.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

PlainTransport::PlainTransport(int descriptor)
    : m_descriptor(descriptor)
{
}

PlainTransport::~PlainTransport()
{
    close();
}

int PlainTransport::release()
{
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    return descriptor;
}

qint64 PlainTransport::read(char* buffer, qint64 capacity)
{
    for (;;) {
        const ssize_t received = ::recv(m_descriptor, buffer, static_cast<size_t>(capacity), 0);
        if (received >= 0)
            return received;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            m_error = TcpConnector::systemError(errno);
        return -1;
    }
}

qint64 PlainTransport::write(const char* data, qint64 size)
{
    for (;;) {
        const ssize_t sent = ::send(m_descriptor, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (sent >= 0)
            return sent;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        m_error = TcpConnector::systemError(errno);
        return -1;
    }
}

void PlainTransport::shutdownOutput()
{
    if (m_descriptor >= 0)
        ::shutdown(m_descriptor, SHUT_WR);
}

void PlainTransport::close()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

void PlainTransport::abort()
{
    if (m_descriptor < 0)
        return;
    const linger immediate{1, 0};
    ::setsockopt(m_descriptor, SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
    close();
}
