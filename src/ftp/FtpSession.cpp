#include "FtpSession.h"

#include "ConnectTrust.h"
#include "DownloadFile.h"
#include "FtpProtocol.h"
#include "FtpUploadStream.h"
#include "ListingBuilder.h"
#include "ListingFields.h"
#include "MlsdParser.h"
#include "ReplyParsers.h"

#include <QDateTime>
#include <QSet>

#include <algorithm>

namespace {

// A listing larger than this is not a listing any more but a server gone wrong, even if its lines
// make few entries: 64 MiB are a quarter of a million names of 200 characters, and the rows cost
// a few times their text.
constexpr qsizetype maxListingBytes = 64 * 1024 * 1024;

// 500, 501, 502, 504: the server does not know the command, or not without an argument.
bool isUnknownCommand(int code)
{
    return code == 500 || code == 501 || code == 502 || code == 504;
}

// Lists the current folder in format: after a refused MLSD with LIST, and format says so.
std::optional<QList<RemoteEntry>> readListing(FtpProtocol& protocol, ListingFormat& format, qsizetype& unreadable)
{
    QStringView verb;
    FtpProtocol::Transfer transfer;
    for (;;) {
        verb = format == ListingFormat::Mlsd ? u"MLSD" : u"LIST";
        if (protocol.startTransfer(verb, {}, transfer))
            break;
        if (transfer.refusal && ReplyParsers::isEmptyListingReply(*transfer.refusal))
            return QList<RemoteEntry>{};
        if (format == ListingFormat::List || !transfer.refusal
            || transfer.refusal->replyClass() != ReplyClass::PermanentFailure)
            return std::nullopt;
        // MLSD refused: LIST may still work. A server that does not know the command is not asked
        // again on this connection.
        if (isUnknownCommand(transfer.refusal->code))
            protocol.refuseMlsd();
        format = ListingFormat::List;
    }
    // Parsed as it arrives: the listing's text is never held whole.
    ListingBuilder builder(format, QDateTime::currentDateTimeUtc().date());
    qint64 received = 0;
    const bool complete = protocol.receive(transfer, [&](const char* data, qint64 size, QString& error) {
        received += size;
        if (received > maxListingBytes) {
            error = QStringLiteral("the listing is larger than %1 MiB").arg(maxListingBytes / (1024 * 1024));
            return false;
        }
        if (!builder.add(QByteArrayView(data, size))) {
            error = QStringLiteral("the listing has more than %1 entries").arg(ListingBuilder::maxEntries);
            return false;
        }
        return true;
    });
    if (!complete)
        return std::nullopt;
    if (ReplyParsers::isUnopenedListingReply(*transfer.finalReply)) {
        protocol.fail(QStringLiteral("%1: %2").arg(verb, protocol.replyText(*transfer.finalReply)));
        return std::nullopt;
    }
    if (!builder.finish()) {
        protocol.fail(QStringLiteral("the listing has more than %1 entries").arg(ListingBuilder::maxEntries));
        return std::nullopt;
    }
    unreadable = builder.unreadable();
    return builder.takeEntries();
}

} // namespace

struct FtpSession::Private {
    FtpProtocol protocol;
    ConnectTrust trust;
    // The encryption chosen for the connection there is.
    FtpSettings::Encryption encryption = FtpSettings::Encryption::IfAvailable;
    qsizetype unreadableLines = 0; // of the last listing
};

FtpSession::FtpSession()
    : d(std::make_unique<Private>())
{
}

FtpSession::~FtpSession()
{
    // Whatever the transcript writes into may already be gone when the session is.
    d->protocol.setTranscript({});
    closeConnection();
}

void FtpSession::setCancelFlag(const std::atomic<bool>* cancelled)
{
    d->protocol.policy().setCancelFlag(cancelled);
}

void FtpSession::setTimeouts(int connectMilliseconds, int idleMilliseconds)
{
    d->protocol.policy().setTimeouts(connectMilliseconds, idleMilliseconds);
}

void FtpSession::setTranscript(std::function<void(const QString& line)> transcript)
{
    d->protocol.setTranscript(std::move(transcript));
}

bool FtpSession::openConnection(const ConnectionSettings& settings)
{
    const std::optional<quint16> port = parsePort(settings.port);
    if (!port) {
        // Like a server that cannot be reached: the old connection is gone all the same.
        d->protocol.disconnect();
        return d->protocol.fail(QStringLiteral("invalid port \"%1\"").arg(settings.port));
    }
    const FtpSettings::Encryption encryption = d->trust.encryptionFor(settings.host, *port, settings.ftp.encryption);
    const auto check = [this, &settings, port](const QSslCertificate& certificate, const QList<QSslError>& errors, QString& why) {
        return d->trust.acceptCertificate(settings.host, *port, certificate, errors, why);
    };
    if (!d->protocol.login(settings.host, *port, settings.user, settings.password, settings.ftp.passive, encryption, check))
        return false;
    d->trust.connected(settings.host, *port, d->protocol.isEncrypted());
    d->encryption = settings.ftp.encryption;
    return true;
}

void FtpSession::updateSettings(const ConnectionSettings& settings)
{
    d->protocol.setPassive(settings.ftp.passive);
}

bool FtpSession::connectedWith(const ConnectionSettings& settings) const
{
    return settings.protocol == Protocol::Ftp && d->encryption == settings.ftp.encryption;
}

void FtpSession::forgetConnectDecision()
{
    d->trust.forget();
}

void FtpSession::setPeerIdentityQuestion(PeerIdentityQuestion question)
{
    d->trust.setQuestion(std::move(question));
}

ConnectFacts FtpSession::connectFacts() const
{
    return {d->protocol.tlsOutcome(), d->protocol.tlsVersion()};
}

void FtpSession::closeConnection()
{
    d->protocol.disconnect();
}

bool FtpSession::isConnected() const
{
    return d->protocol.isConnected();
}

bool FtpSession::isAlive(int answerMilliseconds)
{
    // Any reply will do: the server is there and in step. A 421 or silence closes the connection.
    return d->protocol.ensureReady() && d->protocol.command(u"NOOP", {}, answerMilliseconds).has_value();
}

QString FtpSession::lastError() const
{
    return d->protocol.lastError();
}

bool FtpSession::rename(const QString& oldName, const QString& newName)
{
    if (!d->protocol.ensureReady())
        return false;
    const std::optional<Reply> reply = d->protocol.command(u"RNFR", oldName);
    if (!reply)
        return false;
    if (!reply->isIntermediate())
        return d->protocol.fail(QStringLiteral("RNFR %1: %2").arg(oldName, d->protocol.replyText(*reply)), reply->code);
    return d->protocol.expectCompletion(u"RNTO", newName);
}

bool FtpSession::createDir(const QString& name)
{
    return d->protocol.ensureReady() && d->protocol.expectCompletion(u"MKD", name);
}

bool FtpSession::removeDir(const QString& name)
{
    return d->protocol.ensureReady() && d->protocol.expectCompletion(u"RMD", name);
}

bool FtpSession::remove(const QString& name)
{
    return d->protocol.ensureReady() && d->protocol.expectCompletion(u"DELE", name);
}

bool FtpSession::get(const QString& localPath, const QString& remoteName, const Progress& progress)
{
    if (!d->protocol.ensureReady() || !d->protocol.checkArgument(u"RETR", remoteName))
        return false;
    // The data goes to a temporary file beside the target, which replaces the target only once
    // everything has arrived; a broken transfer leaves an existing file as it was.
    DownloadFile file(localPath);
    if (!file.open())
        return d->protocol.fail(file.errorText());
    qint64 offset = 0;
    return getFrom(file, remoteName, offset, std::nullopt, progress);
}

bool FtpSession::getFrom(DownloadFile& file, const QString& remoteName, qint64& offset, std::optional<qint64> size,
                         const Progress& progress)
{
    if (!d->protocol.ensureReady() || !d->protocol.checkArgument(u"RETR", remoteName) || !d->protocol.setType('I')) {
        file.discard();
        return false;
    }
    // The size this very transfer must deliver, where the server names it: the caller's, SIZE
    // asked just now (only when progress is wanted: it costs a round trip), or the 150 reply of a
    // transfer from the start. Not the listing's size, which may be stale.
    std::optional<qint64> expected = size;
    if (!expected && progress && d->protocol.offers(u"SIZE")) {
        const std::optional<Reply> reply = d->protocol.command(u"SIZE", remoteName);
        if (reply && reply->code == 213)
            expected = ListingFields::parseDecimal(reply->firstLine().trimmed());
    }
    FtpProtocol::Transfer transfer;
    if (!d->protocol.startTransfer(u"RETR", remoteName, transfer, std::max<qint64>(offset, 0))) {
        file.discard();
        return false;
    }
    // A server that will not start there sends the file from its first byte.
    if (transfer.restartRefused || offset < 0) {
        offset = 0;
        if (!file.restart()) {
            d->protocol.abortTransfer(transfer);
            return d->protocol.fail(file.errorText());
        }
    }
    const auto announced = [&]() -> std::optional<qint64> {
        if (expected || offset > 0)
            return expected;
        return ReplyParsers::parseTransferSize(transfer.reply.firstLine());
    };
    const qint64 total = announced().value_or(0);
    qint64 done = 0;
    const auto remaining = [&]() -> std::optional<qint64> {
        const std::optional<qint64> whole = announced();
        return whole ? std::optional<qint64>(*whole - offset) : std::nullopt;
    };
    const bool received = d->protocol.receive(transfer, [&](const char* data, qint64 length, QString& error) {
        if (!file.write(data, length)) {
            error = file.errorText();
            return false;
        }
        done += length;
        if (progress)
            progress(offset + done, total);
        return true;
    }, remaining());
    if (!received) {
        file.discard();
        return false;
    }
    // A server that confirms a transfer cut short must not make it pass for the whole file.
    if (const std::optional<qint64> whole = announced(); whole && offset + done != *whole) {
        file.discard();
        return d->protocol.fail(
            QStringLiteral("RETR %1: %2 of %3 bytes arrived").arg(remoteName).arg(offset + done).arg(*whole));
    }
    if (!file.commit())
        return d->protocol.fail(file.errorText());
    return true;
}

RemoteFileFacts FtpSession::fileFacts(const QString& name)
{
    RemoteFileFacts facts;
    // SIZE counts the bytes of a binary transfer, and some servers answer it in TYPE I only.
    if (!d->protocol.ensureReady() || !d->protocol.checkArgument(u"SIZE", name))
        return facts;
    if (d->protocol.offers(u"SIZE") && d->protocol.setType('I')) {
        const std::optional<Reply> reply = d->protocol.command(u"SIZE", name);
        if (reply && reply->code == 213)
            facts.size = ListingFields::parseDecimal(reply->firstLine().trimmed());
    }
    if (d->protocol.offers(u"MDTM") && d->protocol.isConnected()) {
        const std::optional<Reply> reply = d->protocol.command(u"MDTM", name);
        if (reply && reply->code == 213)
            facts.modified = parseMlsdTime(reply->firstLine().trimmed());
    }
    return facts;
}

QString FtpSession::currentDir()
{
    if (!d->protocol.ensureReady())
        return {};
    const std::optional<Reply> reply = d->protocol.command(u"PWD");
    if (!reply)
        return {};
    // A path cut short by the reply's bounds would name another folder.
    if (reply->code != 257 || reply->isCut) {
        d->protocol.fail(QStringLiteral("PWD: %1").arg(d->protocol.replyText(*reply)));
        return {};
    }
    const std::optional<QString> path = ReplyParsers::parsePwdReply(reply->firstLine());
    if (!path) {
        d->protocol.fail(QStringLiteral("PWD: no folder in %1").arg(d->protocol.replyText(*reply)));
        return {};
    }
    return *path;
}

bool FtpSession::setDir(const QString& directory)
{
    return d->protocol.ensureReady() && d->protocol.expectCompletion(u"CWD", directory);
}

std::unique_ptr<UploadStream> FtpSession::openForUpload(const QString& remoteName, TransferFlag flag)
{
    if (!d->protocol.ensureReady() || !d->protocol.checkArgument(u"STOR", remoteName)
        || !d->protocol.setType(flag == TransferFlag::Ascii ? 'A' : 'I'))
        return nullptr;
    FtpProtocol::Transfer transfer;
    if (!d->protocol.startTransfer(u"STOR", remoteName, transfer))
        return nullptr;
    return std::make_unique<FtpUploadStream>(d->protocol, std::move(transfer));
}

std::unique_ptr<UploadStream> FtpSession::openForUploadFrom(const QString& remoteName, TransferFlag flag, qint64& offset)
{
    // A text upload changes its line ends on the way: the server's byte count is not the file's.
    if (offset <= 0 || flag == TransferFlag::Ascii) {
        offset = 0;
        return openForUpload(remoteName, flag);
    }
    if (!d->protocol.ensureReady() || !d->protocol.checkArgument(u"STOR", remoteName) || !d->protocol.setType('I'))
        return nullptr;
    FtpProtocol::Transfer transfer;
    // REST before STOR is defined only where FEAT names REST STREAM (RFC 3659, 5.5); else APPE
    // adds to the end of what the server has.
    if (d->protocol.offers(u"REST")) {
        if (!d->protocol.startTransfer(u"STOR", remoteName, transfer, offset))
            return nullptr;
        if (transfer.restartRefused)
            offset = 0; // STOR replaced the file: everything goes
    } else if (!d->protocol.startTransfer(u"APPE", remoteName, transfer)) {
        if (!transfer.refusal || !isUnknownCommand(transfer.refusal->code))
            return nullptr;
        offset = 0;
        return openForUpload(remoteName, flag);
    }
    return std::make_unique<FtpUploadStream>(d->protocol, std::move(transfer));
}

FailureKind FtpSession::lastFailure() const
{
    if (d->protocol.policy().isCancelled())
        return FailureKind::Cancelled;
    switch (Reply::classify(d->protocol.failureCode())) {
    case ReplyClass::TransientFailure:
        return FailureKind::Transient;
    case ReplyClass::PermanentFailure:
        return FailureKind::Permanent;
    default:
        // No reply refused: the connection went (a time-out drops it too), or the local side failed.
        return isConnected() ? FailureKind::Permanent : FailureKind::ConnectionLost;
    }
}

std::optional<QList<RemoteEntry>> FtpSession::list()
{
    d->unreadableLines = 0;
    if (!d->protocol.ensureReady())
        return std::nullopt;
    // Plain LIST, no options: "-a" and friends break strict servers and files named like them.
    ListingFormat format = d->protocol.offersMlsd() ? ListingFormat::Mlsd : ListingFormat::List;
    std::optional<QList<RemoteEntry>> entries = readListing(d->protocol, format, d->unreadableLines);
    if (!entries || format != ListingFormat::Mlsd || d->protocol.offers(u"MLSD"))
        return entries;
    // MLSD need not tell a link from what it leads to: pyftpdlib shows a link to a folder as that
    // folder. The servers that name only MLST were listed with LIST before, whose lines say which
    // entries are links, and a delete must remove a link, never walk into where it leads. So their
    // listings with folders are checked against LIST, until the server shows a link as one.
    const auto isLink = [](const RemoteEntry& entry) { return entry.isLink; };
    if (std::any_of(entries->cbegin(), entries->cend(), isLink))
        d->protocol.noteMlsdShowsLinks();
    const auto isFolder = [](const RemoteEntry& entry) { return entry.isDirectory; };
    if (d->protocol.mlsdShowsLinks() || std::none_of(entries->cbegin(), entries->cend(), isFolder))
        return entries;
    ListingFormat list = ListingFormat::List;
    qsizetype unreadable = 0;
    const std::optional<QList<RemoteEntry>> listed = readListing(d->protocol, list, unreadable);
    if (!listed)
        return std::nullopt;
    QSet<QString> links;
    for (const RemoteEntry& entry : *listed) {
        if (entry.isLink)
            links.insert(entry.name);
    }
    for (RemoteEntry& entry : *entries)
        entry.isLink = entry.isLink || links.contains(entry.name);
    return entries;
}

qsizetype FtpSession::unreadableLines() const
{
    return d->unreadableLines;
}

bool FtpSession::offersEntryFacts() const
{
    return d->protocol.offers(u"MLST");
}

std::optional<RemoteEntry> FtpSession::entryFacts(const QString& path)
{
    if (!d->protocol.ensureReady())
        return std::nullopt;
    const std::optional<Reply> reply = d->protocol.command(u"MLST", path);
    if (!reply || !reply->isCompletion() || reply->isCut)
        return std::nullopt;
    // The facts come on an inner line of their own that starts with a blank (RFC 3659, 7.2).
    for (qsizetype i = 1; i + 1 < reply->lines.size(); ++i) {
        if (reply->lines.at(i).startsWith(QLatin1Char(' ')))
            return parseMlsdLine(QStringView(reply->lines.at(i)).mid(1));
    }
    return std::nullopt;
}
