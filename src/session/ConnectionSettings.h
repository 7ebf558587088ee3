#pragma once

#include "Protocol.h"

#include <QString>

#include <optional>

// The options only FTP has.
struct FtpSettings {
    // Explicit FTP over TLS (AUTH TLS): the control connection is encrypted before the user name
    // and password go out, and every data connection is encrypted too.
    enum class Encryption {
        Plain,       // plain FTP only: AUTH TLS is never sent
        IfAvailable, // TLS when the server agrees to AUTH TLS, else plain text
        Required,    // TLS or no connection; the password never goes out in plain text
    };

    bool passive = false;
    Encryption encryption = Encryption::IfAvailable;
};

// The options only SFTP has.
struct SftpSettings {
    // A private key file to log in with, instead of the default ones (~/.ssh/id_ed25519, id_ecdsa,
    // id_rsa); the agent's keys are still tried first.
    QString keyFile;
};

// The values of the connection bar, read when a command starts.
struct ConnectionSettings {
    Protocol protocol = Protocol::Ftp;
    QString host;     // as typed
    QString port;     // as typed; see parsePort()
    QString user;
    QString password; // never written to history, logs or error texts
    FtpSettings ftp;  // ignored by the other protocols
    SftpSettings sftp = {}; // ignored by the other protocols
};

// Port text as typed: blanks around it ignored, a decimal number rounded to the nearest whole
// number (halves to even); accepted when it lies in 1..65535.
std::optional<quint16> parsePort(const QString& text);
