#pragma once

#include "SftpTypes.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <thread>

class DownloadFile;
class SftpUploadStream;
class SshTransport;
namespace SftpWire {
struct Packet;
}

// One SFTP connection (protocol version 3, as OpenSSH speaks it), our own packet layer over a
// libssh channel: transfers keep many requests in flight (64 blocks of 32 KiB by default), which
// neither library's SFTP layer did fast enough through a distant link.
//
// Paths are bytes as the server takes them (UTF-8 by convention); relative paths start at the
// folder the server logged us into. Every call waits at most the idle time-out for the server,
// and ends within about 50 ms of the cancel flag being set. A call that was cancelled leaves the
// connection usable: replies to what it left in flight are dropped as they come. A broken
// connection is closed, and isConnected() tells.
//
// One connection belongs to the thread that connected it; its handles never cross threads.
class SftpConnection
{
public:
    static constexpr qsizetype blockSize = 32 * 1024;
    static constexpr int defaultRequestsInFlight = 64;
    static constexpr qsizetype maxEntries = 1'000'000;

    SftpConnection();
    ~SftpConnection();
    SftpConnection(const SftpConnection&) = delete;
    SftpConnection& operator=(const SftpConnection&) = delete;

    // Connects, checks the host key (options.askHostKey), logs in and starts SFTP; replaces any
    // earlier connection.
    SftpStatus connect(const SftpConnectOptions& options);
    void disconnect();
    bool isConnected() const;
    // The flag every later wait looks at (may be null), and how long the server may stay silent
    // from now on; connect() sets both from its options.
    void setCancelFlag(const std::atomic<bool>* cancel);
    void setIdleTimeout(int milliseconds);

    // What connect() met: the host key and what the known-hosts file said of it, the log-in
    // method that worked (and its key file), or on a failed log-in the methods the server offered.
    SshHostKey hostKey() const;
    KnownHostState knownHostState() const;
    SshAuthMethod authMethod() const;
    QString authKeyFile() const;
    QStringList offeredMethods() const;
    // The server replaces an existing name on rename (posix-rename@openssh.com).
    bool canReplaceOnRename() const { return m_posixRename; }

    void setRequestsInFlight(int count) { m_requestsInFlight = std::max(1, count); }
    int requestsInFlight() const { return m_requestsInFlight; }

    // The entries of folder, "." and ".." left out; a link's target and its kind are looked up.
    SftpStatus list(const QByteArray& folder, QList<SftpEntry>& entries);
    // Byte for byte into localPath, through a temporary file beside it that replaces it only when
    // complete. Where the server names the size, a different byte count fails the download.
    SftpStatus download(const QByteArray& remotePath, const QString& localPath, const SftpProgress& progress = {});
    // The same into target (open, holding the first offset bytes of the file already), from byte
    // offset on. Blocks are written in order, so what target holds is always a beginning of the
    // file, also where the download breaks; progress counts from offset.
    SftpStatus download(const QByteArray& remotePath, DownloadFile& target, qint64 offset, const SftpProgress& progress = {});
    // Creates or truncates remotePath; nullptr with status set when the server refuses. With an
    // offset, the first offset bytes stay and the stream writes from there on.
    std::unique_ptr<SftpUploadStream> openForUpload(const QByteArray& remotePath, SftpStatus& status, qint64 offset = 0);
    // Onto an existing name only where the server can replace it (canReplaceOnRename()).
    SftpStatus rename(const QByteArray& from, const QByteArray& to);
    SftpStatus makeDirectory(const QByteArray& path);
    SftpStatus removeDirectory(const QByteArray& path);
    SftpStatus remove(const QByteArray& path);
    // The absolute form of path ("." for the current folder).
    SftpStatus realPath(const QByteArray& path, QByteArray& resolved);
    // stat follows a link, lstat describes the link itself.
    SftpStatus stat(const QByteArray& path, SftpAttributes& attributes);
    SftpStatus lstat(const QByteArray& path, SftpAttributes& attributes);

private:
    friend class SftpUploadStream;

    quint32 nextId();
    void send(QByteArray packet);
    // The next reply that belongs to a request still waited for.
    SftpStatus receive(SftpWire::Packet& packet);
    // Sends packet and waits for the reply to id; nothing else may be in flight.
    SftpStatus request(QByteArray packet, quint32 id, SftpWire::Packet& reply);
    SftpStatus statusOf(const SftpWire::Packet& reply, const QString& what) const;
    SftpStatus openHandle(const QByteArray& path, quint8 type, quint32 flags, QByteArray& handle);
    SftpStatus closeHandle(const QByteArray& handle);
    SftpStatus attributesOf(quint8 type, const QByteArray& path, SftpAttributes& attributes);
    // Stops waiting for ids: their replies are dropped when they come; handle, if any, is closed.
    void abandon(const QList<quint32>& ids, const QByteArray& handle = {});
    SftpStatus simple(quint8 type, const QByteArray& path, const QString& what);
    // A failure of the connection itself closes it.
    SftpStatus broken(SftpStatus status);
    void lookUpLinks(const QByteArray& folder, QList<SftpEntry>& entries);

    std::unique_ptr<SshTransport> m_transport;
    std::thread::id m_thread; // the one that connected
    QByteArray m_out;
    qsizetype m_outSent = 0;
    QByteArray m_in;
    qsizetype m_inStart = 0;
    quint32 m_lastId = 0;
    QSet<quint32> m_abandoned;
    bool m_posixRename = false;
    int m_requestsInFlight = defaultRequestsInFlight;
};
