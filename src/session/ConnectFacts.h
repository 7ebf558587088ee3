#pragma once

#include <QString>
#include <QStringList>

// How a connect went as to encryption (FTP over TLS).
enum class TlsOutcome {
    NotAsked,           // Plain: AUTH TLS was not sent
    Encrypted,          // TLS on the control and every data connection; tlsVersion names it
    PlainFallback,      // IfAvailable: the server refused AUTH TLS, the connection went on in plain text
    NotOffered,         // Required: the server refused AUTH TLS; no connection, nothing of the login sent
    Failed,             // the server agreed, but the TLS handshake, PBSZ or PROT failed: no connection
    CertificateRefused, // the certificate was not accepted: no connection
};

// How an SSH server's host key was taken.
enum class HostKeyOutcome {
    NotMet,        // no SSH, or the connect ended before the key exchange
    Known,         // the known-hosts file holds it
    TrustedAlways, // the user trusted it, and it was added to the known-hosts file
    TrustedOnce,   // the user trusted it for this connect and the re-connections of its commands
    Refused,       // not accepted (the user's answer, or a re-connection that met another key than
                   // its connect): nothing of the log-in went out
};

// The SSH log-in method that worked.
enum class SshLogIn { None, Agent, KeyFile, Password, KeyboardInteractive };

// What the last openConnection() settled, as plain values that the connection commands turn into
// history lines, whether the connect worked or not. Each protocol fills in what concerns it; the
// rest keeps its default.
struct ConnectFacts {
    TlsOutcome tls = TlsOutcome::NotAsked;
    QString tlsVersion; // "TLSv1.3", when tls is Encrypted

    // SSH (SFTP).
    HostKeyOutcome hostKey = HostKeyOutcome::NotMet;
    QString hostKeyType = {};         // "ssh-ed25519", once the key exchange showed the key
    QString hostKeyFingerprint = {};  // "SHA256:..."
    bool hostKeyChanged = false; // the known-hosts file holds another key of its type for the host
    SshLogIn logIn = SshLogIn::None;
    QString keyFile = {};             // the key file that worked (SshLogIn::KeyFile)
    bool logInRefused = false;   // no method worked; offeredMethods names what the server offered
    QStringList offeredMethods = {};
    QString sshFailure = {};          // why an SSH connect failed, in the server's or the library's words
};
