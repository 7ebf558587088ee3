#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

// What a request to the server came to: done, or why not, in the server's words where it gave some.
// Every operation of the engine returns one, so a failure carries its reason with it.
class SftpStatus
{
public:
    enum class Code {
        Ok,
        ServerRefused,  // the server answered with an error status; serverCode() holds it
        Cancelled,      // the cancel flag was set
        TimedOut,       // the server did not answer within the idle time-out
        ConnectionLost, // the connection broke, or was never made
        HostKeyRefused, // the host key was not accepted: nothing of the login went out
        LoginFailed,    // no log-in method worked
        LocalError,     // a local file could not be read or written
        ProtocolError,  // the server sent something that is not SFTP
    };

    // The status codes of SFTP version 3 that callers look at.
    static constexpr quint32 noSuchFile = 2;
    static constexpr quint32 permissionDenied = 3;

    SftpStatus() = default;
    static SftpStatus failure(Code code, QString message, quint32 serverCode = 0)
    {
        SftpStatus status;
        status.m_code = code;
        status.m_message = std::move(message);
        status.m_serverCode = serverCode;
        return status;
    }

    bool ok() const { return m_code == Code::Ok; }
    explicit operator bool() const { return ok(); }
    Code code() const { return m_code; }
    quint32 serverCode() const { return m_serverCode; }
    // Empty when ok(); never holds a password.
    QString message() const { return m_message; }

private:
    Code m_code = Code::Ok;
    QString m_message;
    quint32 m_serverCode = 0;
};

enum class SftpKind { File, Folder, Link, Other };

// The attributes SFTP version 3 carries; a field the server left out has its flag false.
struct SftpAttributes {
    bool hasSize = false;
    bool hasPermissions = false;
    bool hasTimes = false;
    quint64 size = 0;
    quint32 permissions = 0; // the full st_mode, type bits included
    quint32 modified = 0;    // seconds since 1970, UTC

    SftpKind kind() const;
    // As ls -l shows them: "drwxr-xr-x"; empty when the server sent no permissions.
    QString permissionText() const;
};

// One entry of a folder listing.
struct SftpEntry {
    // The name's bytes as the server sent them (UTF-8 by convention, not by guarantee): two names
    // that differ in bytes stay two entries even when neither is valid UTF-8.
    QByteArray name;
    SftpKind kind = SftpKind::File;
    // For a link: what it leads to (Other when it leads nowhere) and where, as the server reads it.
    SftpKind targetKind = SftpKind::Other;
    QByteArray linkTarget;
    qint64 size = 0;
    QDateTime modified; // UTC; invalid when the server sent no time
    QString permissions; // "drwxr-xr-x", or empty

    bool operator==(const SftpEntry&) const = default;
};

// The server's host key, as OpenSSH shows it.
struct SshHostKey {
    QString type;    // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...
    QByteArray blob; // the key in SSH wire form

    // "SHA256:" and the unpadded base64 of the key's SHA-256, as ssh-keygen -l prints it.
    QString fingerprint() const;
    bool operator==(const SshHostKey&) const = default;
};

enum class KnownHostState {
    Known,   // the known-hosts file holds this very key for the host
    Unknown, // it holds no key of this type for the host
    Changed, // it holds another key of this type for the host, or marks this one revoked
};

enum class HostKeyTrust {
    Always,   // trusted, and appended to the known-hosts file
    ThisTime, // trusted for this connection only
    Cancel,   // not trusted: the connection ends before the log-in
};

enum class SshAuthMethod { None, Agent, KeyFile, Password, KeyboardInteractive };

// How to reach and log in to a server.
struct SftpConnectOptions {
    QString host;
    quint16 port = 22;
    QString user;
    QString password; // for password and keyboard-interactive log-in; may be empty
    int connectTimeoutMilliseconds = 20'000;
    int idleTimeoutMilliseconds = 60'000;
    // Every wait polls this flag at least every 50 ms; once it is set, the running call ends with
    // Code::Cancelled. May be null.
    const std::atomic<bool>* cancel = nullptr;
    // Holds known_hosts and the default key files; empty: ~/.ssh.
    QString sshFolder;
    // Keys of a running ssh-agent (SSH_AUTH_SOCK) are tried first.
    bool useAgent = true;
    // The key files to try after the agent; empty: id_ed25519, id_ecdsa and id_rsa in sshFolder.
    QStringList keyFiles;
    // Asked for a key that the known-hosts file does not hold, or holds another of, after the key
    // exchange and before anything of the log-in goes out. Without it such a key is refused.
    std::function<HostKeyTrust(const SshHostKey& key, KnownHostState state)> askHostKey;
    // Asked for the passphrase of a key file that the server would accept; nullopt skips the key.
    std::function<std::optional<QString>(const QString& keyFile)> askPassphrase;
};

// Calls back with the bytes done so far and the total (-1 when the server named none).
using SftpProgress = std::function<void(qint64 done, qint64 total)>;
