#include "SftpConnection.h"

#include "DownloadFile.h"
#include "SftpUploadStream.h"
#include "SftpWire.h"
#include "SshTransport.h"

#include <QHash>
#include <QMap>
#include <QTimeZone>

#include <cstring>
#include <limits>

using SftpWire::Packet;
using SftpWire::Writer;

namespace {

constexpr qsizetype readChunk = 256 * 1024;
constexpr const char* posixRenameName = "posix-rename@openssh.com";

QString quoted(const QByteArray& path)
{
    return QLatin1Char('"') + QString::fromUtf8(path) + QLatin1Char('"');
}

QByteArray childPath(const QByteArray& folder, const QByteArray& name)
{
    if (folder.isEmpty() || folder == ".")
        return name;
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

} // namespace

SftpConnection::SftpConnection()
    : m_transport(std::make_unique<SshTransport>())
{
}

SftpConnection::~SftpConnection() = default;

bool SftpConnection::isConnected() const
{
    return m_transport->isOpen();
}

SshHostKey SftpConnection::hostKey() const
{
    return m_transport->hostKey();
}

KnownHostState SftpConnection::knownHostState() const
{
    return m_transport->knownHostState();
}

SshAuthMethod SftpConnection::authMethod() const
{
    return m_transport->authMethod();
}

QString SftpConnection::authKeyFile() const
{
    return m_transport->authKeyFile();
}

QStringList SftpConnection::offeredMethods() const
{
    return m_transport->offeredMethods();
}

void SftpConnection::setCancelFlag(const std::atomic<bool>* cancel)
{
    m_transport->setCancelFlag(cancel);
}

void SftpConnection::setIdleTimeout(int milliseconds)
{
    m_transport->setIdleTimeout(milliseconds);
}

void SftpConnection::disconnect()
{
    m_transport->close();
    m_out.clear();
    m_outSent = 0;
    m_in.clear();
    m_inStart = 0;
    m_abandoned.clear();
    m_posixRename = false;
}

SftpStatus SftpConnection::broken(SftpStatus status)
{
    if (status.code() != SftpStatus::Code::ServerRefused && status.code() != SftpStatus::Code::Cancelled
        && status.code() != SftpStatus::Code::LocalError)
        disconnect();
    return status;
}

SftpStatus SftpConnection::connect(const SftpConnectOptions& options)
{
    disconnect();
    m_thread = std::this_thread::get_id();
    SftpStatus status = m_transport->open(options);
    if (!status) {
        m_transport->close();
        return status;
    }
    m_in.reserve(SshTransport::receiveWindow + SftpWire::maxPacket + 16);
    m_out.reserve(SftpWire::maxPacket + (defaultRequestsInFlight + 1) * (blockSize + 64));
    send(Writer(SftpWire::Init, std::nullopt).u32(3).finish());
    Packet version;
    if (!(status = receive(version)))
        return broken(status);
    SftpWire::Reader reader(version.body);
    if (version.type != SftpWire::Version || reader.u32() != 3 || !reader.ok())
        return broken(SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("the server does not speak SFTP version 3")));
    while (!reader.atEnd() && reader.ok()) {
        const QByteArrayView name = reader.string();
        const QByteArrayView data = reader.string();
        if (reader.ok() && name == posixRenameName && data == "1")
            m_posixRename = true;
    }
    return {};
}

quint32 SftpConnection::nextId()
{
    return ++m_lastId;
}

void SftpConnection::send(QByteArray packet)
{
    // The buffers keep their memory: resize() never shrinks it, and what is left is moved to the
    // front by hand, so a transfer does not allocate a fresh buffer for every block.
    if (m_outSent == m_out.size()) {
        m_out.resize(0);
        m_outSent = 0;
    } else if (m_outSent > readChunk) {
        const qsizetype rest = m_out.size() - m_outSent;
        std::memmove(m_out.data(), m_out.constData() + m_outSent, static_cast<size_t>(rest));
        m_out.resize(rest);
        m_outSent = 0;
    }
    m_out += packet;
}

SftpStatus SftpConnection::receive(Packet& packet)
{
    if (!m_transport->isOpen())
        return SftpStatus::failure(SftpStatus::Code::ConnectionLost, QStringLiteral("not connected"));
    // libssh's handles are not to be shared between threads; a caller that does gets an error, not
    // a corrupted connection.
    if (std::this_thread::get_id() != m_thread)
        return SftpStatus::failure(SftpStatus::Code::LocalError, QStringLiteral("the connection is used from another thread"));
    for (;;) {
        bool isBroken = false;
        while (std::optional<Packet> taken = SftpWire::takePacket(m_in, m_inStart, isBroken)) {
            if (m_abandoned.remove(taken->id)) {
                // A file opened by a request given up on is closed, not left open on the server.
                SftpWire::Reader reader(taken->body);
                const QByteArrayView handle = taken->type == SftpWire::Handle ? reader.string() : QByteArrayView();
                if (reader.ok() && !handle.isEmpty())
                    abandon({}, handle.toByteArray());
                continue;
            }
            packet = std::move(*taken);
            return {};
        }
        if (isBroken)
            return broken(SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("the server sent a broken SFTP packet")));
        // Keep the unread rest at the front, so the buffer does not grow with the transfer.
        if (m_inStart > 0) {
            const qsizetype rest = m_in.size() - m_inStart;
            std::memmove(m_in.data(), m_in.constData() + m_inStart, static_cast<size_t>(rest));
            m_in.resize(rest);
            m_inStart = 0;
        }
        const SftpStatus status = m_transport->exchange(m_out, m_outSent, m_in, m_in.size() + readChunk);
        if (!status)
            return broken(status);
    }
}

SftpStatus SftpConnection::request(QByteArray packet, quint32 id, Packet& reply)
{
    send(std::move(packet));
    const SftpStatus status = receive(reply);
    // A request given up on (cancelled) still gets its reply; it must not pass for the next one's.
    if (!status)
        m_abandoned.insert(id);
    if (status && reply.id != id)
        return broken(SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("the server answered a request not made")));
    return status;
}

SftpStatus SftpConnection::statusOf(const Packet& reply, const QString& what) const
{
    if (reply.type != SftpWire::Status)
        return SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("%1: unexpected reply %2").arg(what).arg(reply.type));
    SftpWire::Reader reader(reply.body);
    const quint32 code = reader.u32();
    const QString message = QString::fromUtf8(reader.string()).trimmed();
    if (!reader.ok())
        return SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("%1: broken status reply").arg(what));
    if (code == SftpWire::statusOk)
        return {};
    return SftpStatus::failure(SftpStatus::Code::ServerRefused,
                               message.isEmpty() ? QStringLiteral("%1: error %2").arg(what).arg(code) : QStringLiteral("%1: %2").arg(what, message),
                               code);
}

SftpStatus SftpConnection::simple(quint8 type, const QByteArray& path, const QString& what)
{
    const quint32 id = nextId();
    Writer writer(static_cast<SftpWire::Type>(type), id);
    writer.string(path);
    if (type == SftpWire::Mkdir)
        writer.attributes();
    Packet reply;
    const SftpStatus status = request(writer.finish(), id, reply);
    return status ? statusOf(reply, what) : status;
}

SftpStatus SftpConnection::makeDirectory(const QByteArray& path)
{
    return simple(SftpWire::Mkdir, path, QStringLiteral("cannot create folder %1").arg(quoted(path)));
}

SftpStatus SftpConnection::removeDirectory(const QByteArray& path)
{
    return simple(SftpWire::Rmdir, path, QStringLiteral("cannot remove folder %1").arg(quoted(path)));
}

SftpStatus SftpConnection::remove(const QByteArray& path)
{
    return simple(SftpWire::Remove, path, QStringLiteral("cannot delete %1").arg(quoted(path)));
}

SftpStatus SftpConnection::rename(const QByteArray& from, const QByteArray& to)
{
    const QString what = QStringLiteral("cannot rename %1 to %2").arg(quoted(from), quoted(to));
    const quint32 id = nextId();
    Packet reply;
    SftpStatus status;
    if (m_posixRename) {
        status = request(Writer(SftpWire::Extended, id).string(posixRenameName).string(from).string(to).finish(), id, reply);
        return status ? statusOf(reply, what) : status;
    }
    // Plain SFTP rename refuses an existing target on OpenSSH and replaces it elsewhere; say so
    // before the server does something of its own.
    SftpAttributes existing;
    status = lstat(to, existing);
    if (status)
        return SftpStatus::failure(SftpStatus::Code::ServerRefused,
                                   QStringLiteral("%1: it exists, and the server cannot replace it").arg(what), SftpStatus::permissionDenied);
    if (status.code() != SftpStatus::Code::ServerRefused || status.serverCode() != SftpStatus::noSuchFile)
        return status;
    status = request(Writer(SftpWire::Rename, id).string(from).string(to).finish(), id, reply);
    return status ? statusOf(reply, what) : status;
}

SftpStatus SftpConnection::realPath(const QByteArray& path, QByteArray& resolved)
{
    const quint32 id = nextId();
    Packet reply;
    SftpStatus status = request(Writer(SftpWire::Realpath, id).string(path.isEmpty() ? QByteArray(".") : path).finish(), id, reply);
    if (!status)
        return status;
    const QString what = QStringLiteral("cannot resolve %1").arg(quoted(path));
    if (reply.type != SftpWire::Name)
        return statusOf(reply, what);
    SftpWire::Reader reader(reply.body);
    const quint32 count = reader.u32();
    const QByteArrayView name = reader.string();
    if (!reader.ok() || count != 1)
        return SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("%1: broken reply").arg(what));
    resolved = name.toByteArray();
    return {};
}

SftpStatus SftpConnection::attributesOf(quint8 type, const QByteArray& path, SftpAttributes& attributes)
{
    const quint32 id = nextId();
    Packet reply;
    Writer writer(static_cast<SftpWire::Type>(type), id);
    const SftpStatus status = request(writer.string(path).finish(), id, reply);
    if (!status)
        return status;
    const QString what = QStringLiteral("cannot read the attributes of %1").arg(quoted(path));
    if (reply.type != SftpWire::Attrs)
        return statusOf(reply, what);
    SftpWire::Reader reader(reply.body);
    attributes = reader.attributes();
    return reader.ok() ? SftpStatus() : SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("%1: broken reply").arg(what));
}

SftpStatus SftpConnection::stat(const QByteArray& path, SftpAttributes& attributes)
{
    return attributesOf(SftpWire::Stat, path, attributes);
}

SftpStatus SftpConnection::lstat(const QByteArray& path, SftpAttributes& attributes)
{
    return attributesOf(SftpWire::Lstat, path, attributes);
}

SftpStatus SftpConnection::openHandle(const QByteArray& path, quint8 type, quint32 flags, QByteArray& handle)
{
    const quint32 id = nextId();
    Writer writer(static_cast<SftpWire::Type>(type), id);
    writer.string(path);
    if (type == SftpWire::Open)
        writer.u32(flags).attributes();
    Packet reply;
    const SftpStatus status = request(writer.finish(), id, reply);
    if (!status)
        return status;
    const QString what = QStringLiteral("cannot open %1").arg(quoted(path));
    if (reply.type != SftpWire::Handle)
        return statusOf(reply, what);
    SftpWire::Reader reader(reply.body);
    handle = reader.string().toByteArray();
    return reader.ok() ? SftpStatus() : SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("%1: broken reply").arg(what));
}

SftpStatus SftpConnection::closeHandle(const QByteArray& handle)
{
    const quint32 id = nextId();
    Packet reply;
    const SftpStatus status = request(Writer(SftpWire::Close, id).string(handle).finish(), id, reply);
    return status ? statusOf(reply, QStringLiteral("closing the file failed")) : status;
}

void SftpConnection::abandon(const QList<quint32>& ids, const QByteArray& handle)
{
    for (const quint32 id : ids)
        m_abandoned.insert(id);
    if (!handle.isEmpty()) {
        const quint32 id = nextId();
        m_abandoned.insert(id);
        send(Writer(SftpWire::Close, id).string(handle).finish());
    }
}

SftpStatus SftpConnection::list(const QByteArray& folder, QList<SftpEntry>& entries)
{
    entries.clear();
    const QByteArray path = folder.isEmpty() ? QByteArray(".") : folder;
    QByteArray handle;
    SftpStatus status = openHandle(path, SftpWire::Opendir, 0, handle);
    if (!status)
        return status;
    const QString what = QStringLiteral("cannot list %1").arg(quoted(path));
    for (;;) {
        const quint32 id = nextId();
        Packet reply;
        if (!(status = request(Writer(SftpWire::Readdir, id).string(handle).finish(), id, reply))) {
            abandon({}, handle);
            return status;
        }
        if (reply.type != SftpWire::Name) {
            status = statusOf(reply, what);
            if (status.serverCode() == SftpWire::statusEof)
                break;
            abandon({}, handle);
            return status.ok() ? SftpStatus::failure(SftpStatus::Code::ProtocolError, what) : status;
        }
        SftpWire::Reader reader(reply.body);
        const quint32 count = reader.u32();
        for (quint32 i = 0; i < count && reader.ok(); ++i) {
            const QByteArray name = reader.string().toByteArray();
            reader.string(); // the ls -l line: its layout is the server's own, the attributes say the same
            const SftpAttributes attributes = reader.attributes();
            if (!reader.ok() || name == "." || name == "..")
                continue;
            SftpEntry entry;
            entry.name = name;
            entry.kind = attributes.kind();
            entry.size = attributes.hasSize ? static_cast<qint64>(std::min<quint64>(attributes.size, std::numeric_limits<qint64>::max())) : 0;
            if (attributes.hasTimes)
                entry.modified = QDateTime::fromSecsSinceEpoch(attributes.modified, QTimeZone::utc());
            entry.permissions = attributes.permissionText();
            entries.append(entry);
        }
        if (!reader.ok()) {
            abandon({}, handle);
            return broken(SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("%1: broken reply").arg(what)));
        }
        if (entries.size() > maxEntries) {
            abandon({}, handle);
            return SftpStatus::failure(SftpStatus::Code::ServerRefused, QStringLiteral("%1: more than %2 entries").arg(what).arg(maxEntries));
        }
    }
    if (!(status = closeHandle(handle)))
        return status;
    lookUpLinks(path, entries);
    return {};
}

void SftpConnection::lookUpLinks(const QByteArray& folder, QList<SftpEntry>& entries)
{
    // For every link, READLINK and STAT go out together, many at a time: a folder of links costs
    // a few round trips, not two per link.
    struct Lookup {
        qsizetype entry;
        bool target; // STAT (what it leads to) rather than READLINK (where)
    };
    QHash<quint32, Lookup> inFlight;
    qsizetype next = 0;
    for (;;) {
        while (inFlight.size() + 2 <= 2 * m_requestsInFlight && next < entries.size()) {
            if (entries[next].kind == SftpKind::Link) {
                const QByteArray path = childPath(folder, entries[next].name);
                const quint32 readlinkId = nextId();
                send(Writer(SftpWire::Readlink, readlinkId).string(path).finish());
                inFlight.insert(readlinkId, {next, false});
                const quint32 statId = nextId();
                send(Writer(SftpWire::Stat, statId).string(path).finish());
                inFlight.insert(statId, {next, true});
            }
            ++next;
        }
        if (inFlight.isEmpty())
            return;
        Packet reply;
        if (!receive(reply)) {
            abandon(inFlight.keys());
            return;
        }
        const auto found = inFlight.find(reply.id);
        if (found == inFlight.end())
            continue;
        const Lookup lookup = *found;
        inFlight.erase(found);
        SftpEntry& entry = entries[lookup.entry];
        SftpWire::Reader reader(reply.body);
        if (lookup.target && reply.type == SftpWire::Attrs) {
            const SftpAttributes attributes = reader.attributes();
            if (reader.ok())
                entry.targetKind = attributes.kind();
        } else if (!lookup.target && reply.type == SftpWire::Name && reader.u32() == 1) {
            const QByteArrayView target = reader.string();
            if (reader.ok())
                entry.linkTarget = target.toByteArray();
        }
    }
}

SftpStatus SftpConnection::download(const QByteArray& remotePath, const QString& localPath, const SftpProgress& progress)
{
    DownloadFile target(localPath);
    if (!target.open())
        return SftpStatus::failure(SftpStatus::Code::LocalError, target.errorText());
    return download(remotePath, target, 0, progress);
}

SftpStatus SftpConnection::download(const QByteArray& remotePath, DownloadFile& target, qint64 offset,
                                    const SftpProgress& progress)
{
    QByteArray handle;
    SftpStatus status = openHandle(remotePath, SftpWire::Open, SftpWire::openRead, handle);
    if (!status)
        return status;
    const QString what = QStringLiteral("cannot download %1").arg(quoted(remotePath));

    // The size the server names now; reading goes on past it when the file grew, up to the end.
    const quint32 fstatId = nextId();
    Packet reply;
    if (!(status = request(Writer(SftpWire::Fstat, fstatId).string(handle).finish(), fstatId, reply))) {
        abandon({}, handle);
        return status;
    }
    SftpWire::Reader fstatReader(reply.body);
    const SftpAttributes attributes = reply.type == SftpWire::Attrs ? fstatReader.attributes() : SftpAttributes();
    const bool sizeKnown = fstatReader.ok() && attributes.hasSize;
    const qint64 size = sizeKnown ? static_cast<qint64>(std::min<quint64>(attributes.size, std::numeric_limits<qint64>::max())) : -1;

    struct Range {
        qint64 offset;
        qint64 length;
    };
    QHash<quint32, Range> inFlight;
    auto issue = [&](qint64 at, qint64 length) {
        const quint32 id = nextId();
        send(Writer(SftpWire::Read, id).string(handle).u64(static_cast<quint64>(at)).u32(static_cast<quint32>(length)).finish());
        inFlight.insert(id, {at, length});
    };
    qint64 next = offset;
    qint64 received = offset;
    qint64 furthest = offset; // the end of the furthest block received
    qint64 end = -1;          // where the server said the file ends
    // Blocks that came before those in front of them wait here: the file is written in order, so
    // that what it holds is always a beginning of the remote file, which a resume can go on from.
    QMap<qint64, QByteArray> early;
    qint64 written = offset;
    const auto write = [&](qint64 at, QByteArrayView data) {
        if (at != written) {
            early.insert(at, data.toByteArray());
            return true;
        }
        if (!target.write(data.data(), data.size()))
            return false;
        written += data.size();
        while (!early.isEmpty() && early.firstKey() == written) {
            if (!target.write(early.first().constData(), early.first().size()))
                return false;
            written += early.first().size();
            early.erase(early.begin());
        }
        return true;
    };
    auto fail = [&](SftpStatus failure) {
        abandon(inFlight.keys(), handle);
        return failure;
    };
    if (progress)
        progress(offset, size);
    for (;;) {
        // Read ahead up to the size named, and one block beyond it to see the end.
        while (end < 0 && inFlight.size() < m_requestsInFlight && (!sizeKnown || next <= std::max(size, furthest))) {
            issue(next, blockSize);
            next += blockSize;
        }
        if (inFlight.isEmpty())
            break;
        if (!(status = receive(reply)))
            return fail(status);
        const auto found = inFlight.find(reply.id);
        if (found == inFlight.end())
            return fail(broken(SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("%1: the server answered a request not made").arg(what))));
        const Range range = *found;
        inFlight.erase(found);
        if (reply.type == SftpWire::Status) {
            status = statusOf(reply, what);
            if (status.serverCode() != SftpWire::statusEof)
                return fail(status.ok() ? SftpStatus::failure(SftpStatus::Code::ProtocolError, what) : status);
            end = end < 0 ? range.offset : std::min(end, range.offset);
            continue;
        }
        SftpWire::Reader reader(reply.body);
        const QByteArrayView data = reply.type == SftpWire::Data ? reader.string() : QByteArrayView();
        if (reply.type != SftpWire::Data || !reader.ok() || data.size() > range.length)
            return fail(broken(SftpStatus::failure(SftpStatus::Code::ProtocolError, QStringLiteral("%1: broken reply").arg(what))));
        if (!write(range.offset, data))
            return fail(SftpStatus::failure(SftpStatus::Code::LocalError, target.errorText()));
        received += data.size();
        furthest = std::max(furthest, range.offset + data.size());
        // A short block is not the end: servers may send less than asked; the rest is asked again.
        if (data.size() < range.length && (end < 0 || range.offset + data.size() < end))
            issue(range.offset + data.size(), range.length - data.size());
        if (progress)
            progress(received, size);
    }
    if (!(status = closeHandle(handle)))
        return status;
    // Every byte before the end arrived once: no gap, nothing past it.
    if (end < 0 || received != end || furthest != end || !early.isEmpty())
        return SftpStatus::failure(SftpStatus::Code::ProtocolError,
                                   QStringLiteral("%1: %2 bytes arrived, the server said the file ends at %3").arg(what).arg(received).arg(end));
    if (sizeKnown && received != size)
        return SftpStatus::failure(SftpStatus::Code::ServerRefused,
                                   QStringLiteral("%1: %2 bytes arrived of %3").arg(what).arg(received).arg(size));
    if (!target.commit())
        return SftpStatus::failure(SftpStatus::Code::LocalError, target.errorText());
    return {};
}

std::unique_ptr<SftpUploadStream> SftpConnection::openForUpload(const QByteArray& remotePath, SftpStatus& status,
                                                                 qint64 offset)
{
    QByteArray handle;
    // Going on after offset bytes keeps them: no truncation.
    const quint32 flags = SftpWire::openWrite | SftpWire::openCreate | (offset > 0 ? 0 : SftpWire::openTruncate);
    status = openHandle(remotePath, SftpWire::Open, flags, handle);
    if (!status)
        return nullptr;
    return std::unique_ptr<SftpUploadStream>(new SftpUploadStream(*this, remotePath, handle, offset));
}
