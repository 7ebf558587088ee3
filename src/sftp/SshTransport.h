#pragma once

#include "SftpTypes.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

struct ssh_session_struct;
struct ssh_channel_struct;

// One SSH connection on libssh with the "sftp" subsystem open on one channel: the TCP connect, the
// key exchange, the host-key check against the known-hosts file, the log-in, and the channel's
// bytes. libssh runs non-blocking throughout, and every wait is a poll of at most 50 ms, so the
// cancel flag ends any wait within that. The handles stay on the thread that opened them.
class SshTransport
{
public:
    // The most the server may send ahead of what was read; a buffer passed to exchange() must be
    // able to grow by that much.
    static constexpr qsizetype receiveWindow = 4 * 1024 * 1024;

    SshTransport();
    ~SshTransport();
    SshTransport(const SshTransport&) = delete;
    SshTransport& operator=(const SshTransport&) = delete;

    SftpStatus open(const SftpConnectOptions& options);
    void close();
    // The flag every later wait looks at (may be null), and how long the server may stay silent
    // from now on; open() sets both from its options.
    void setCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    void setIdleTimeout(int milliseconds);
    bool isOpen() const { return m_channel != nullptr; }

    // What the last open() met and did; valid from the key exchange on.
    const SshHostKey& hostKey() const { return m_hostKey; }
    KnownHostState knownHostState() const { return m_knownState; }
    SshAuthMethod authMethod() const { return m_authMethod; }
    QString authKeyFile() const { return m_authKeyFile; }
    // The methods the server named in its last refusal ("publickey", "password", ...).
    QStringList offeredMethods() const { return m_offered; }

    // Moves bytes both ways: as much of out from outSent on as the channel takes (outSent
    // advances), and whatever has arrived, appended to in (up to inLimit bytes, now and then up
    // to receiveWindow more). When nothing was sent, waits up to 50 ms for data. Fails on cancel,
    // on a closed channel, and when nothing moved for the idle time-out.
    SftpStatus exchange(const QByteArray& out, qsizetype& outSent, QByteArray& in, qsizetype inLimit);

private:
    SftpStatus connectSocket(const SftpConnectOptions& options, const QDeadlineTimer& deadline);
    SftpStatus checkHostKey(const SftpConnectOptions& options);
    SftpStatus logIn(const SftpConnectOptions& options, const QDeadlineTimer& deadline);
    bool tryKeyFile(const SftpConnectOptions& options, const QString& path, const QDeadlineTimer& deadline, SftpStatus& status);
    SftpStatus openChannel(const QDeadlineTimer& deadline);
    // Waits up to 50 ms for the socket; fails on cancel or once deadline passed.
    SftpStatus waitSocket(const QDeadlineTimer& deadline, const QString& what);
    // Repeats call while libssh says "again", waiting on the socket in between.
    template <typename Call>
    int repeat(Call call, int again, const QDeadlineTimer& deadline, const QString& what, SftpStatus& status);
    SftpStatus sshFailure(SftpStatus::Code code, const QString& what) const;

    ssh_session_struct* m_session = nullptr;
    ssh_channel_struct* m_channel = nullptr;
    int m_socket = -1;
    const std::atomic<bool>* m_cancel = nullptr;
    int m_idleMilliseconds = 60'000;
    QDeadlineTimer m_idleDeadline;
    qsizetype m_sinceWindowRaise = 0; // bytes read since the window was last raised
    SshHostKey m_hostKey;
    KnownHostState m_knownState = KnownHostState::Unknown;
    SshAuthMethod m_authMethod = SshAuthMethod::None;
    QString m_authKeyFile;
    QStringList m_offered;
};
