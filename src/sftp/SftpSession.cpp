#include "SftpSession.h"

#include "DownloadFile.h"
#include "KnownHosts.h"
#include "NameCodec.h"
#include "SftpConnection.h"
#include "SftpUploadStream.h"
#include "TextCatalogue.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QTimeZone>

#include <algorithm>
#include <limits>

namespace {

// Hands the pieces to the engine's upload and reports its failure, for lastError().
class UploadPassage final : public UploadStream
{
public:
    UploadPassage(std::unique_ptr<SftpUploadStream> stream, std::function<void(const SftpStatus&)> failed)
        : m_stream(std::move(stream))
        , m_failed(std::move(failed))
    {
    }

    bool write(const char* data, qint64 size) override { return m_stream->write(data, size) || report(); }
    bool close() override { return m_stream->close() || report(); }

private:
    bool report()
    {
        m_failed(m_stream->status());
        return false;
    }

    std::unique_ptr<SftpUploadStream> m_stream;
    std::function<void(const SftpStatus&)> m_failed;
};

RemoteEntry entryOf(const SftpEntry& listed)
{
    RemoteEntry entry;
    entry.name = NameCodec::decode(listed.name);
    entry.isLink = listed.kind == SftpKind::Link;
    entry.isDirectory = listed.kind == SftpKind::Folder || (entry.isLink && listed.targetKind == SftpKind::Folder);
    entry.size = listed.size;
    entry.lastWrite = listed.modified;
    entry.attributes = entry.isDirectory ? FileAttribute::directory : FileAttribute::normal;
    entry.linkTarget = NameCodec::decode(listed.linkTarget);
    entry.permissions = listed.permissions;
    return entry;
}

SshLogIn logInOf(SshAuthMethod method)
{
    switch (method) {
    case SshAuthMethod::Agent:
        return SshLogIn::Agent;
    case SshAuthMethod::KeyFile:
        return SshLogIn::KeyFile;
    case SshAuthMethod::Password:
        return SshLogIn::Password;
    case SshAuthMethod::KeyboardInteractive:
        return SshLogIn::KeyboardInteractive;
    case SshAuthMethod::None:
        break;
    }
    return SshLogIn::None;
}

} // namespace

struct SftpSession::Private {
    // What a connect settled about the server's host key, for the re-connections of its commands.
    struct Settled {
        QString host; // KnownHosts::hostName()
        quint16 port = 0;
        SshHostKey key;
        bool accepted = false;
    };

    SftpConnection connection;
    QString sshFolder;
    bool useAgent = true;
    const std::atomic<bool>* cancel = nullptr;
    int connectMilliseconds = 20'000;
    int idleMilliseconds = 60'000;
    std::function<void(const QString&)> transcript;
    PeerIdentityQuestion question;
    InputQuestion input;
    QByteArray current; // the current folder, absolute, as the server resolved it
    QString start;
    QString keyFile; // of the connection there is
    QString error;
    std::optional<SftpStatus::Code> failure; // of the status that made the last error, if one did
    ConnectFacts facts;
    std::optional<Settled> settled;
    bool mayAsk = true; // the next connect may ask (host key, passphrase)
    QHash<QString, QString> passphrases; // typed at the connect, by key file

    void trace(const QString& line) const
    {
        if (transcript)
            transcript(line);
    }

    bool fail(const QString& text)
    {
        error = text;
        failure.reset();
        trace(QStringLiteral("< ") + text);
        return false;
    }

    bool fail(const SftpStatus& status)
    {
        fail(status.message());
        failure = status.code();
        return false;
    }

    bool ready()
    {
        return connection.isConnected() || fail(QStringLiteral("not connected"));
    }

    // Names are relative to the current folder, or absolute.
    QByteArray pathOf(const QString& name) const
    {
        const QByteArray bytes = NameCodec::encode(name);
        if (bytes.startsWith('/') || current.isEmpty())
            return bytes;
        if (bytes.isEmpty())
            return current;
        return current.endsWith('/') ? current + bytes : current + '/' + bytes;
    }

    bool done(const SftpStatus& status) { return status.ok() || fail(status); }

    HostKeyTrust decideHostKey(const QString& host, quint16 port, const SshHostKey& key, KnownHostState state, bool ask);
};

HostKeyTrust SftpSession::Private::decideHostKey(const QString& host, quint16 port, const SshHostKey& key,
                                                 KnownHostState state, bool ask)
{
    facts.hostKeyType = key.type;
    facts.hostKeyFingerprint = key.fingerprint();
    facts.hostKeyChanged = state == KnownHostState::Changed;
    const auto answer = [this](HostKeyOutcome outcome, HostKeyTrust trust) {
        facts.hostKey = outcome;
        return trust;
    };
    const QString name = KnownHosts::hostName(host, port);
    // A re-connection in the middle of a command: the connect's answer holds, for its key only.
    if (settled && settled->host == name && settled->port == port)
        return settled->accepted && settled->key == key ? answer(HostKeyOutcome::TrustedOnce, HostKeyTrust::ThisTime)
                                                        : answer(HostKeyOutcome::Refused, HostKeyTrust::Cancel);
    if (!ask || !question)
        return answer(HostKeyOutcome::Refused, HostKeyTrust::Cancel);
    HostKeyInfo info{host, port, key.type, facts.hostKeyFingerprint, facts.hostKeyChanged, {}};
    const KnownHosts knownHosts((sshFolder.isEmpty() ? QDir::homePath() + QStringLiteral("/.ssh") : sshFolder)
                                + QStringLiteral("/known_hosts"));
    if (const std::optional<SshHostKey> stored = knownHosts.storedKey(host, port, key.type); stored && info.changed)
        info.storedFingerprint = stored->fingerprint();
    const TrustDecision decision = question(PeerIdentity(info));
    settled = Settled{name, port, key, decision != TrustDecision::Cancel};
    switch (decision) {
    case TrustDecision::Always:
        return answer(HostKeyOutcome::TrustedAlways, HostKeyTrust::Always);
    case TrustDecision::Once:
        return answer(HostKeyOutcome::TrustedOnce, HostKeyTrust::ThisTime);
    case TrustDecision::Cancel:
        break;
    }
    return answer(HostKeyOutcome::Refused, HostKeyTrust::Cancel);
}

SftpSession::SftpSession(QString sshFolder)
    : d(std::make_unique<Private>())
{
    d->sshFolder = std::move(sshFolder);
}

SftpSession::~SftpSession()
{
    d->transcript = {};
    closeConnection();
}

void SftpSession::setUseAgent(bool useAgent)
{
    d->useAgent = useAgent;
}

bool SftpSession::openConnection(const ConnectionSettings& settings)
{
    d->facts = {};
    d->error.clear();
    closeConnection();
    // Only a connect asks; the re-connections of its commands never do.
    const bool ask = std::exchange(d->mayAsk, false);
    const std::optional<quint16> port = parsePort(settings.port);
    if (!port)
        return d->fail(QStringLiteral("invalid port \"%1\"").arg(settings.port));

    SftpConnectOptions options;
    options.host = settings.host;
    options.port = *port;
    options.user = settings.user;
    options.password = settings.password;
    options.connectTimeoutMilliseconds = d->connectMilliseconds;
    options.idleTimeoutMilliseconds = d->idleMilliseconds;
    options.cancel = d->cancel;
    options.sshFolder = d->sshFolder;
    options.useAgent = d->useAgent;
    if (!settings.sftp.keyFile.isEmpty())
        options.keyFiles = QStringList{settings.sftp.keyFile};
    options.askHostKey = [this, &settings, port, ask](const SshHostKey& key, KnownHostState state) {
        return d->decideHostKey(settings.host, *port, key, state, ask);
    };
    // A passphrase typed at the connect serves its re-connections, which never ask; the bar's
    // password is kept in memory the same way.
    options.askPassphrase = [this, ask, tried = QSet<QString>()](const QString& keyFile) mutable -> std::optional<QString> {
        if (d->passphrases.contains(keyFile) && !tried.contains(keyFile)) {
            tried.insert(keyFile);
            return d->passphrases.value(keyFile);
        }
        if (!ask || !d->input)
            return std::nullopt;
        const InputAnswer answer = d->input({getText("SSH_PASSPHRASE").arg(keyFile), {}, InputPosition::Centred, {}, true});
        if (!answer.accepted)
            return std::nullopt;
        d->passphrases.insert(keyFile, answer.text);
        return answer.text;
    };
    d->trace(QStringLiteral("connecting to %1 port %2").arg(settings.host).arg(*port));
    const SftpStatus status = d->connection.connect(options);

    const SshHostKey key = d->connection.hostKey();
    if (!key.blob.isEmpty() && d->facts.hostKey == HostKeyOutcome::NotMet) {
        // The known-hosts file held it; the re-connections hold on to it too.
        d->facts.hostKey = HostKeyOutcome::Known;
        d->facts.hostKeyType = key.type;
        d->facts.hostKeyFingerprint = key.fingerprint();
        const QString name = KnownHosts::hostName(settings.host, *port);
        if (!d->settled || d->settled->host != name || d->settled->port != *port)
            d->settled = Private::Settled{name, *port, key, true};
    }
    d->facts.logIn = logInOf(d->connection.authMethod());
    d->facts.keyFile = d->connection.authKeyFile();
    QByteArray home;
    SftpStatus found = status;
    if (found)
        found = d->connection.realPath(".", home);
    if (!found) {
        if (found.code() == SftpStatus::Code::LoginFailed) {
            d->facts.logInRefused = true;
            d->facts.offeredMethods = d->connection.offeredMethods();
        }
        if (found.code() != SftpStatus::Code::Cancelled)
            d->facts.sshFailure = found.message();
        d->connection.disconnect();
        return d->fail(found);
    }
    d->current = home;
    d->start = NameCodec::decode(home);
    d->keyFile = settings.sftp.keyFile;
    d->trace(QStringLiteral("logged in, in %1").arg(d->start));
    return true;
}

void SftpSession::setPeerIdentityQuestion(PeerIdentityQuestion question)
{
    d->question = std::move(question);
}

void SftpSession::setInputQuestion(InputQuestion question)
{
    d->input = std::move(question);
}

void SftpSession::forgetConnectDecision()
{
    d->settled.reset();
    d->passphrases.clear();
    d->mayAsk = true;
}

bool SftpSession::connectedWith(const ConnectionSettings& settings) const
{
    return settings.protocol == Protocol::Sftp && settings.sftp.keyFile == d->keyFile;
}

ConnectFacts SftpSession::connectFacts() const
{
    return d->facts;
}

QString SftpSession::startFolder() const
{
    return d->start.isEmpty() ? QStringLiteral("/") : d->start;
}

void SftpSession::closeConnection()
{
    d->connection.disconnect();
    d->current.clear();
}

bool SftpSession::isConnected() const
{
    return d->connection.isConnected();
}

bool SftpSession::isAlive(int answerMilliseconds)
{
    if (!d->connection.isConnected())
        return false;
    d->connection.setIdleTimeout(answerMilliseconds);
    QByteArray resolved;
    const SftpStatus status = d->connection.realPath(d->current, resolved);
    d->connection.setIdleTimeout(d->idleMilliseconds);
    // Any answer will do; silence closes the connection.
    return status.ok() || status.code() == SftpStatus::Code::ServerRefused;
}

QString SftpSession::lastError() const
{
    return d->error;
}

void SftpSession::setTranscript(std::function<void(const QString& line)> transcript)
{
    d->transcript = std::move(transcript);
}

void SftpSession::setCancelFlag(const std::atomic<bool>* cancelled)
{
    d->cancel = cancelled;
    d->connection.setCancelFlag(cancelled);
}

void SftpSession::setTimeouts(int connectMilliseconds, int idleMilliseconds)
{
    d->connectMilliseconds = connectMilliseconds;
    d->idleMilliseconds = idleMilliseconds;
    d->connection.setIdleTimeout(idleMilliseconds);
}

bool SftpSession::rename(const QString& oldName, const QString& newName)
{
    if (!d->ready())
        return false;
    d->trace(QStringLiteral("> rename %1 %2").arg(oldName, newName));
    return d->done(d->connection.rename(d->pathOf(oldName), d->pathOf(newName)));
}

bool SftpSession::createDir(const QString& name)
{
    if (!d->ready())
        return false;
    d->trace(QStringLiteral("> mkdir ") + name);
    return d->done(d->connection.makeDirectory(d->pathOf(name)));
}

bool SftpSession::removeDir(const QString& name)
{
    if (!d->ready())
        return false;
    d->trace(QStringLiteral("> rmdir ") + name);
    return d->done(d->connection.removeDirectory(d->pathOf(name)));
}

bool SftpSession::remove(const QString& name)
{
    if (!d->ready())
        return false;
    d->trace(QStringLiteral("> rm ") + name);
    return d->done(d->connection.remove(d->pathOf(name)));
}

FailureKind SftpSession::lastFailure() const
{
    switch (d->failure.value_or(SftpStatus::Code::Ok)) {
    case SftpStatus::Code::Cancelled:
        return FailureKind::Cancelled;
    case SftpStatus::Code::TimedOut:
    case SftpStatus::Code::ConnectionLost:
        return FailureKind::ConnectionLost;
    case SftpStatus::Code::Ok:
        return isConnected() ? FailureKind::Permanent : FailureKind::ConnectionLost;
    default:
        // SFTP has no "try later": what the server refused, it refuses again.
        return FailureKind::Permanent;
    }
}

RemoteFileFacts SftpSession::fileFacts(const QString& name)
{
    RemoteFileFacts facts;
    SftpAttributes attributes;
    if (!d->ready() || !d->connection.stat(d->pathOf(name), attributes))
        return facts;
    if (attributes.hasSize)
        facts.size = static_cast<qint64>(std::min<quint64>(attributes.size, std::numeric_limits<qint64>::max()));
    if (attributes.hasTimes)
        facts.modified = QDateTime::fromSecsSinceEpoch(attributes.modified, QTimeZone::utc());
    return facts;
}

bool SftpSession::getFrom(DownloadFile& file, const QString& remoteName, qint64& offset, std::optional<qint64>,
                          const Progress& progress)
{
    if (!d->ready())
        return false;
    d->trace(QStringLiteral("> get %1 from %2").arg(remoteName).arg(offset));
    SftpProgress report;
    if (progress)
        report = [&progress](qint64 done, qint64 total) { progress(done, std::max<qint64>(total, 0)); };
    return d->done(d->connection.download(d->pathOf(remoteName), file, std::max<qint64>(offset, 0), report));
}

std::unique_ptr<UploadStream> SftpSession::openForUploadFrom(const QString& remoteName, TransferFlag, qint64& offset)
{
    if (!d->ready())
        return nullptr;
    offset = std::max<qint64>(offset, 0);
    d->trace(QStringLiteral("> put %1 from %2").arg(remoteName).arg(offset));
    SftpStatus status;
    std::unique_ptr<SftpUploadStream> stream = d->connection.openForUpload(d->pathOf(remoteName), status, offset);
    if (!stream) {
        d->fail(status);
        return nullptr;
    }
    return std::make_unique<UploadPassage>(std::move(stream), [this](const SftpStatus& failure) { d->fail(failure); });
}

bool SftpSession::get(const QString& localPath, const QString& remoteName, const Progress& progress)
{
    if (!d->ready())
        return false;
    d->trace(QStringLiteral("> get ") + remoteName);
    SftpProgress report;
    if (progress)
        report = [&progress](qint64 done, qint64 total) { progress(done, std::max<qint64>(total, 0)); };
    return d->done(d->connection.download(d->pathOf(remoteName), localPath, report));
}

QString SftpSession::currentDir()
{
    if (!d->ready())
        return {};
    // Asked like FTP's PWD, so a lost connection shows; a folder removed meanwhile is still the one
    // the session stands in.
    QByteArray resolved;
    const SftpStatus status = d->connection.realPath(d->current, resolved);
    if (!status && status.code() != SftpStatus::Code::ServerRefused) {
        d->fail(status);
        return {};
    }
    return NameCodec::decode(d->current);
}

bool SftpSession::setDir(const QString& directory)
{
    if (!d->ready())
        return false;
    d->trace(QStringLiteral("> cd ") + directory);
    QByteArray resolved;
    SftpAttributes attributes;
    SftpStatus status = d->connection.realPath(d->pathOf(directory), resolved);
    if (status)
        status = d->connection.stat(resolved, attributes);
    if (!status)
        return d->fail(status);
    if (attributes.kind() != SftpKind::Folder)
        return d->fail(QStringLiteral("%1 is not a folder").arg(NameCodec::decode(resolved)));
    d->current = resolved;
    return true;
}

std::unique_ptr<UploadStream> SftpSession::openForUpload(const QString& remoteName, TransferFlag)
{
    if (!d->ready())
        return nullptr;
    d->trace(QStringLiteral("> put ") + remoteName);
    SftpStatus status;
    std::unique_ptr<SftpUploadStream> stream = d->connection.openForUpload(d->pathOf(remoteName), status);
    if (!stream) {
        d->fail(status);
        return nullptr;
    }
    return std::make_unique<UploadPassage>(std::move(stream), [this](const SftpStatus& failure) { d->fail(failure); });
}

std::optional<QList<RemoteEntry>> SftpSession::list()
{
    if (!d->ready())
        return std::nullopt;
    d->trace(QStringLiteral("> list ") + NameCodec::decode(d->current));
    QList<SftpEntry> listed;
    if (const SftpStatus status = d->connection.list(d->current, listed); !status) {
        d->fail(status);
        return std::nullopt;
    }
    // An SFTP server sends its folder's own order, which is no order at all to a reader; FTP
    // servers sort their listings by name, and the panes show what the server sends.
    std::sort(listed.begin(), listed.end(), [](const SftpEntry& a, const SftpEntry& b) { return a.name < b.name; });
    QList<RemoteEntry> entries;
    entries.reserve(listed.size());
    for (const SftpEntry& entry : std::as_const(listed))
        entries.append(entryOf(entry));
    return entries;
}

bool SftpSession::offersEntryFacts() const
{
    return d->connection.isConnected();
}

std::optional<RemoteEntry> SftpSession::entryFacts(const QString& path)
{
    if (!d->ready())
        return std::nullopt;
    SftpAttributes attributes;
    if (const SftpStatus status = d->connection.lstat(d->pathOf(path), attributes); !status) {
        d->fail(status);
        return std::nullopt;
    }
    SftpEntry listed;
    listed.name = NameCodec::encode(path);
    listed.kind = attributes.kind();
    listed.size = static_cast<qint64>(std::min<quint64>(attributes.size, std::numeric_limits<qint64>::max()));
    if (attributes.hasTimes)
        listed.modified = QDateTime::fromSecsSinceEpoch(attributes.modified, QTimeZone::utc());
    listed.permissions = attributes.permissionText();
    return entryOf(listed);
}
