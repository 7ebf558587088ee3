#pragma once

#include "WaitPolicy.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

struct sockaddr_storage;

// Name lookup and TCP connect that honour the connect time-out and the cancel flag, which
// QTcpSocket's blocking calls do not (its waitForConnected() gives up the attempt when it times
// out, and its lookup cannot be interrupted).
namespace TcpConnector {

// The addresses of host (blanks around it ignored; "[::1]" accepted), or nullopt with error set.
std::optional<QList<QHostAddress>> resolve(const QString& host, const WaitPolicy& policy, QString& error);
// A connected, non-blocking socket descriptor, or -1 with error set. Tries each address in turn
// within one connect time-out.
int connectToAny(const QList<QHostAddress>& addresses, quint16 port, const WaitPolicy& policy, QString& error);

// Conversions between Qt's addresses and the socket API's.
bool toSocketAddress(const QHostAddress& address, quint16 port, sockaddr_storage& storage, unsigned& length);
QHostAddress fromSocketAddress(const sockaddr_storage& storage, quint16* port = nullptr);
QHostAddress localAddress(int descriptor, quint16* port = nullptr);
QHostAddress peerAddress(int descriptor, quint16* port = nullptr);

// The text of an errno value.
QString systemError(int code);

} // namespace TcpConnector
