#pragma once

#include <QtGlobal>

// The protocols a connection can speak.
enum class Protocol {
    Ftp,  // FTP, optionally with explicit TLS
    Sftp, // the SSH file transfer protocol
};

// The port a server of that protocol listens on unless told otherwise.
constexpr quint16 defaultPort(Protocol protocol)
{
    return protocol == Protocol::Sftp ? 22 : 21;
}
