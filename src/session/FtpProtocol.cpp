#include "FtpProtocol.h"

#include "FtpUploadStream.h"
#include "NameCodec.h"
#include "PasswordMask.h"
#include "ReplyParsers.h"
#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcFtp, "ftpclient.session", QtInfoMsg)

namespace {

// Masks what the server must see but nobody else.
const QString hidden = QStringLiteral("****");

// Preliminary replies (1xx) one command may get before its final reply; servers send one or two.
constexpr int maxPreliminaryReplies = 10;

int remainingMilliseconds(const QDeadlineTimer& deadline)
{
    return static_cast<int>(std::max<qint64>(1, deadline.remainingTime()));
}

// Sent for an anonymous login without a password; many servers want something there.
const QString anonymousPassword = QStringLiteral("anonymous@");

} // namespace

FtpProtocol::FtpProtocol() = default;

FtpProtocol::~FtpProtocol()
{
    if (m_openUpload)
        m_openUpload->detach();
}

QString FtpProtocol::stateName(State state)
{
    switch (state) {
    case State::Disconnected:
        return QStringLiteral("Disconnected");
    case State::Connecting:
        return QStringLiteral("Connecting");
    case State::LoggingIn:
        return QStringLiteral("LoggingIn");
    case State::Ready:
        return QStringLiteral("Ready");
    case State::Commanding:
        return QStringLiteral("Commanding");
    case State::OpeningData:
        return QStringLiteral("OpeningData");
    case State::Transferring:
        return QStringLiteral("Transferring");
    case State::Finishing:
        return QStringLiteral("Finishing");
    }
    return QStringLiteral("?");
}

// The only place the state changes.
void FtpProtocol::setState(State next)
{
    if (next == m_state)
        return;
    note(QStringLiteral("[%1] -> [%2]").arg(stateName(m_state), stateName(next)));
    m_state = next;
}

void FtpProtocol::note(const QString& line)
{
    qCDebug(lcFtp).noquote() << line;
    if (m_transcript)
        m_transcript(line);
}

// Our own lines never need masking: PASS is the one that carries the password, and it is shown
// masked. What the server sends may echo it.
QString FtpProtocol::masked(QString text) const
{
    return maskPassword(std::move(text), m_password);
}

QString FtpProtocol::replyText(const Reply& reply) const
{
    return masked(reply.summary());
}

bool FtpProtocol::fail(const QString& text)
{
    m_lastError = text;
    note(QStringLiteral("error: %1").arg(m_lastError));
    return false;
}

bool FtpProtocol::failTransport()
{
    // The error may quote what the server sent.
    const QString reason = m_control.errorText().isEmpty() ? QStringLiteral("connection lost") : masked(m_control.errorText());
    dropConnection();
    return fail(reason);
}

void FtpProtocol::dropConnection()
{
    if (m_openUpload) {
        m_openUpload->detach();
        m_openUpload = nullptr;
    }
    m_control.close();
    setState(State::Disconnected);
}

bool FtpProtocol::offers(QStringView feature) const
{
    return ReplyParsers::hasFeature(m_features, feature);
}

bool FtpProtocol::isConnected() const
{
    return m_state != State::Disconnected && m_control.isOpen();
}

bool FtpProtocol::login(const QString& host, quint16 port, const QString& user, const QString& password, bool passive,
                        ConnectionSettings::Encryption encryption, const CertificateCheck& check)
{
    disconnect();
    m_lastError.clear();
    m_password = password;
    m_features.clear();
    m_offersMlsd = false;
    m_passive = passive;
    m_encrypted = false;
    m_tlsOutcome = TlsOutcome::NotAsked;
    m_tlsVersion.clear();
    m_certificate.clear();
    m_epsvRefused = false;
    m_eprtRefused = false;
    m_type = 0;

    setState(State::Connecting);
    if (!m_control.open(host, port)) {
        const QString reason = m_control.errorText();
        setState(State::Disconnected);
        return fail(reason);
    }
    note(QStringLiteral("connected to %1 port %2").arg(m_control.peerAddress().toString()).arg(port));
    setState(State::LoggingIn);

    const QDeadlineTimer greetingDeadline(m_policy.idleTimeout());
    std::optional<Reply> greeting = m_control.readReply();
    if (!greeting)
        return failTransport();
    note(QStringLiteral("< %1").arg(replyText(*greeting)));
    // 120: "service ready in nnn minutes"; the real greeting follows.
    greeting = readPastPreliminary(std::move(greeting), greetingDeadline);
    if (!greeting)
        return false;
    if (!greeting->isCompletion()) {
        dropConnection();
        return fail(QStringLiteral("the server refused the connection: %1").arg(replyText(*greeting)));
    }

    if (encryption != ConnectionSettings::Encryption::Plain && !negotiateTls(host, encryption, check))
        return false;

    const QString loginName = user.isEmpty() ? QStringLiteral("anonymous") : user;
    std::optional<Reply> reply = command(u"USER", loginName);
    if (!reply) {
        dropConnection(); // also when the name was refused before it went out: no half login
        return false;
    }
    if (reply->code == 331) {
        const QString secret = password.isEmpty() && loginName == QLatin1String("anonymous") ? anonymousPassword : password;
        const QDeadlineTimer passDeadline(m_policy.idleTimeout());
        reply = readPastPreliminary(sendLine("PASS " + NameCodec::encode(secret), QStringLiteral("PASS ") + hidden),
                                    passDeadline);
        if (!reply) {
            dropConnection();
            return false;
        }
    }
    if (!reply->isCompletion()) {
        const QString why = reply->code == 332 ? QStringLiteral("the server asks for an account, which is not supported")
                                               : replyText(*reply);
        dropConnection();
        return fail(QStringLiteral("login refused: %1").arg(why));
    }
    if (m_encrypted && !protectData())
        return false;

    if (const auto features = command(u"FEAT")) {
        m_features = ReplyParsers::parseFeatures(*features);
        // MLST alone is not taken as a promise of MLSD: servers that list only MLST exist whose
        // MLSD is missing or broken.
        m_offersMlsd = ReplyParsers::hasFeature(m_features, u"MLSD");
        if (ReplyParsers::hasFeature(m_features, u"UTF8"))
            command(u"OPTS", QStringLiteral("UTF8 ON")); // names go out as UTF-8 either way
    }
    if (!isConnected())
        return false;
    setState(State::Ready);
    return true;
}

void FtpProtocol::disconnect()
{
    if (m_state == State::Disconnected && !m_control.isOpen())
        return;
    if (m_control.isOpen() && !m_policy.isCancelled() && m_state == State::Ready) {
        note(QStringLiteral("> QUIT"));
        m_control.send("QUIT"); // polite, but nobody waits for the answer
    }
    dropConnection();
}

bool FtpProtocol::ensureReady()
{
    if (!isConnected()) {
        if (m_state != State::Disconnected)
            dropConnection();
        return fail(QStringLiteral("not connected"));
    }
    if (m_state != State::Ready)
        return fail(QStringLiteral("another transfer is still open"));
    return true;
}

bool FtpProtocol::checkArgument(QStringView verb, const QString& argument)
{
    if (ControlConnection::isSafeCommandLine(NameCodec::encode(argument)))
        return true;
    return fail(QStringLiteral("%1: refused, the name holds a line break or NUL").arg(verb));
}

std::optional<Reply> FtpProtocol::sendLine(const QByteArray& line, const QString& shown, int replyMilliseconds)
{
    if (!ControlConnection::isSafeCommandLine(line)) {
        fail(QStringLiteral("%1: refused, the name holds a line break or NUL").arg(shown.section(QLatin1Char(' '), 0, 0)));
        return std::nullopt;
    }
    note(QStringLiteral("> %1").arg(shown));
    if (!m_control.send(line)) {
        failTransport();
        return std::nullopt;
    }
    std::optional<Reply> reply = m_control.readReply(replyMilliseconds);
    if (!reply) {
        failTransport();
        return std::nullopt;
    }
    note(QStringLiteral("< %1").arg(replyText(*reply)));
    // 421: the server is closing the connection (idle time-out, shutdown); it is gone now.
    if (reply->code == 421) {
        dropConnection();
        fail(QStringLiteral("the server closed the connection: %1").arg(replyText(*reply)));
        return std::nullopt;
    }
    return reply;
}

std::optional<Reply> FtpProtocol::command(QStringView verb, const QString& argument, int replyMilliseconds)
{
    QByteArray line = verb.toLatin1();
    if (!argument.isEmpty())
        line += ' ' + NameCodec::encode(argument);
    const bool idle = m_state == State::Ready;
    if (idle)
        setState(State::Commanding);
    const QDeadlineTimer deadline(replyMilliseconds < 0 ? m_policy.idleTimeout() : replyMilliseconds);
    std::optional<Reply> reply = readPastPreliminary(
        sendLine(line, argument.isEmpty() ? verb.toString() : verb.toString() + QLatin1Char(' ') + argument, replyMilliseconds),
        deadline);
    if (idle && m_state == State::Commanding)
        setState(State::Ready);
    return reply;
}

// A server that answers "120" again and again must not hold a command for ever: the final reply
// comes within the idle time-out of the command and after at most maxPreliminaryReplies.
std::optional<Reply> FtpProtocol::readPastPreliminary(std::optional<Reply> reply, const QDeadlineTimer& deadline)
{
    int count = 0;
    while (reply && reply->isPreliminary()) {
        if (!countPreliminary(count))
            return std::nullopt;
        if (deadline.hasExpired()) {
            dropConnection();
            fail(QStringLiteral("the server sent no final reply (time-out)"));
            return std::nullopt;
        }
        reply = m_control.readReply(remainingMilliseconds(deadline));
        if (!reply) {
            failTransport();
            return std::nullopt;
        }
        note(QStringLiteral("< %1").arg(replyText(*reply)));
    }
    return reply;
}

bool FtpProtocol::countPreliminary(int& count)
{
    if (++count <= maxPreliminaryReplies)
        return true;
    dropConnection();
    return fail(QStringLiteral("the server sent more than %1 preliminary replies").arg(maxPreliminaryReplies));
}

bool FtpProtocol::expectCompletion(QStringView verb, const QString& argument)
{
    const std::optional<Reply> reply = command(verb, argument);
    if (!reply)
        return false;
    if (!reply->isCompletion())
        return fail(QStringLiteral("%1 %2: %3").arg(verb, argument, replyText(*reply)));
    return true;
}

bool FtpProtocol::setType(char type)
{
    if (m_type == type)
        return true;
    if (!expectCompletion(u"TYPE", QString(QLatin1Char(type))))
        return false;
    m_type = type;
    return true;
}

std::unique_ptr<DataConnection> FtpProtocol::openPassive()
{
    const QHostAddress server = m_control.peerAddress();
    if (!m_epsvRefused) {
        const std::optional<Reply> reply = command(u"EPSV");
        if (!reply)
            return nullptr;
        if (reply->code == 229) {
            if (const auto port = ReplyParsers::parseEpsvReply(reply->firstLine())) {
                auto data = std::make_unique<DataConnection>(m_policy);
                if (!data->connectTo(server, *port)) {
                    fail(data->errorText());
                    return nullptr;
                }
                return data;
            }
            note(QStringLiteral("unreadable EPSV reply; trying PASV"));
        }
        m_epsvRefused = true;
    }
    if (server.protocol() != QAbstractSocket::IPv4Protocol) {
        fail(QStringLiteral("the server refused EPSV, and PASV cannot reach an IPv6 server"));
        return nullptr;
    }
    const std::optional<Reply> reply = command(u"PASV");
    if (!reply)
        return nullptr;
    const auto offered = reply->code == 227 ? ReplyParsers::parsePasvReply(reply->firstLine()) : std::nullopt;
    if (!offered) {
        fail(QStringLiteral("PASV: %1").arg(replyText(*reply)));
        return nullptr;
    }
    // The address in a PASV reply is ignored: servers behind NAT announce private addresses,
    // and a hostile one could point us at a third party. The port is all we take.
    auto data = std::make_unique<DataConnection>(m_policy);
    if (!data->connectTo(server, offered->port)) {
        fail(data->errorText());
        return nullptr;
    }
    return data;
}

std::unique_ptr<DataConnection> FtpProtocol::openActive()
{
    auto data = std::make_unique<DataConnection>(m_policy);
    const QHostAddress listenOn = m_control.localAddress();
    if (!data->listen(listenOn)) {
        fail(data->errorText());
        return nullptr;
    }
    QHostAddress local = listenOn;
    local.setScopeId(QString()); // the server cannot use our interface name
    const bool isIpv4 = local.protocol() == QAbstractSocket::IPv4Protocol;
    if (!m_eprtRefused) {
        const QString argument = QStringLiteral("|%1|%2|%3|").arg(isIpv4 ? 1 : 2).arg(local.toString()).arg(data->listenPort());
        const std::optional<Reply> reply = command(u"EPRT", argument);
        if (!reply)
            return nullptr;
        if (reply->isCompletion())
            return data;
        m_eprtRefused = true;
    }
    if (!isIpv4) {
        fail(QStringLiteral("the server refused EPRT, and PORT cannot carry an IPv6 address"));
        return nullptr;
    }
    const quint32 address = local.toIPv4Address();
    const quint16 port = data->listenPort();
    const QString argument = QStringLiteral("%1,%2,%3,%4,%5,%6")
                                 .arg(address >> 24)
                                 .arg((address >> 16) & 0xFF)
                                 .arg((address >> 8) & 0xFF)
                                 .arg(address & 0xFF)
                                 .arg(port >> 8)
                                 .arg(port & 0xFF);
    if (!expectCompletion(u"PORT", argument))
        return nullptr;
    return data;
}

bool FtpProtocol::startTransfer(QStringView verb, const QString& argument, Transfer& transfer)
{
    transfer = Transfer{};
    transfer.command = argument.isEmpty() ? verb.toString() : verb.toString() + QLatin1Char(' ') + argument;
    if (!ensureReady() || !checkArgument(verb, argument))
        return false;
    setState(State::OpeningData);
    transfer.data = m_passive ? openPassive() : openActive();
    if (!transfer.data) {
        if (m_state != State::Disconnected)
            setState(State::Ready);
        return false;
    }
    QByteArray line = verb.toLatin1();
    if (!argument.isEmpty())
        line += ' ' + NameCodec::encode(argument);
    const std::optional<Reply> reply = sendLine(line, transfer.command);
    if (!reply)
        return false;
    if (reply->isCompletion()) {
        transfer.finalReply = reply; // nothing to send, or it went before we asked (seen with empty listings)
    } else if (reply->isPreliminary()) {
        transfer.reply = *reply;
        transfer.preliminaryReplies = 1;
    } else {
        transfer.refusal = reply;
        transfer.data.reset();
        setState(State::Ready);
        return fail(QStringLiteral("%1: %2").arg(transfer.command, replyText(*reply)));
    }

    if (!m_passive && !transfer.finalReply) {
        DataConnection::Event event = transfer.data->accept(m_control.peerAddress(), &m_control);
        // Replies may arrive before the server's connection is taken, the final one too: a small
        // file can be sent and done while its connection still waits in the backlog. Its data is
        // read all the same, or the transfer would count as complete with nothing received.
        while (event == DataConnection::Event::ControlReady) {
            if (!takeMidTransferReply(transfer))
                return false;
            event = transfer.data->accept(m_control.peerAddress(), transfer.finalReply ? nullptr : &m_control);
        }
        if (event != DataConnection::Event::Done) {
            const QString reason = transfer.data->errorText();
            transfer.data.reset();
            dropConnection(); // the server's state is unknown now
            return fail(QStringLiteral("%1: %2").arg(transfer.command, reason));
        }
    }
    if (m_encrypted && !secureData(transfer))
        return false;
    setState(State::Transferring);
    return true;
}

bool FtpProtocol::takeMidTransferReply(Transfer& transfer)
{
    std::optional<Reply> reply = m_control.readReply();
    if (!reply) {
        transfer.data.reset();
        return failTransport();
    }
    note(QStringLiteral("< %1").arg(replyText(*reply)));
    if (reply->isPreliminary()) {
        if (!countPreliminary(transfer.preliminaryReplies)) {
            transfer.data->abort();
            transfer.data.reset();
            return false;
        }
        if (transfer.reply.code == 0)
            transfer.reply = *reply;
        return true;
    }
    transfer.finalReply = reply;
    if (reply->isCompletion())
        return true; // the last bytes may still be on their way; the data connection's end decides
    transfer.data->abort();
    transfer.data.reset();
    setState(State::Ready);
    return fail(QStringLiteral("%1: %2").arg(transfer.command, replyText(*reply)));
}

bool FtpProtocol::readFinalReply(Transfer& transfer, int idleMilliseconds)
{
    setState(State::Finishing);
    const QDeadlineTimer deadline(idleMilliseconds < 0 ? m_policy.idleTimeout() : idleMilliseconds);
    while (!transfer.finalReply) {
        std::optional<Reply> reply = m_control.readReply(remainingMilliseconds(deadline));
        if (!reply)
            return failTransport();
        note(QStringLiteral("< %1").arg(replyText(*reply)));
        if (!reply->isPreliminary())
            transfer.finalReply = reply;
        else if (!countPreliminary(transfer.preliminaryReplies))
            return false;
    }
    setState(State::Ready);
    if (!transfer.finalReply->isCompletion())
        return fail(QStringLiteral("%1: %2").arg(transfer.command, replyText(*transfer.finalReply)));
    return true;
}

bool FtpProtocol::receive(Transfer& transfer, const Sink& sink)
{
    // Large blocks: a fast link delivers megabytes between two looks at the socket.
    constexpr qsizetype receiveBlock = 1024 * 1024;
    QByteArray buffer(receiveBlock, Qt::Uninitialized);
    while (transfer.data && transfer.data->isOpen()) {
        DataConnection::Event event = DataConnection::Event::Done;
        ControlConnection* watch = transfer.finalReply ? nullptr : &m_control;
        const qint64 received = transfer.data->read(buffer.data(), buffer.size(), watch, event);
        if (received > 0) {
            QString error;
            if (!sink(buffer.constData(), received, error)) {
                abortTransfer(transfer);
                return fail(QStringLiteral("%1: %2").arg(transfer.command, error));
            }
            continue;
        }
        if (event == DataConnection::Event::EndOfData)
            break;
        if (event == DataConnection::Event::ControlReady) {
            if (!takeMidTransferReply(transfer))
                return false;
            continue;
        }
        const QString reason = transfer.data->errorText();
        transfer.data->abort();
        dropConnection(); // a stalled or cancelled transfer leaves the control connection out of step
        return fail(QStringLiteral("%1: %2").arg(transfer.command, reason));
    }
    if (transfer.data)
        transfer.data->finish(nullptr); // nothing left to send: this does not wait
    // 226 counts only now that the data connection has ended: a server may send it while the
    // last bytes are still in flight.
    return readFinalReply(transfer);
}

bool FtpProtocol::send(Transfer& transfer, const char* data, qint64 size)
{
    if (!transfer.data || !transfer.data->isOpen())
        return fail(QStringLiteral("%1: the data connection is closed").arg(transfer.command));
    DataConnection::Event event = DataConnection::Event::Done;
    qint64 written = 0;
    while (!transfer.data->writeAll(data, size, written, &m_control, event)) {
        if (event == DataConnection::Event::ControlReady) {
            // Anything but a preliminary reply in the middle of an upload ends it.
            if (!takeMidTransferReply(transfer))
                return false;
            if (transfer.finalReply) {
                abortTransfer(transfer);
                return fail(QStringLiteral("%1: the server ended the transfer early: %2")
                                .arg(transfer.command, replyText(*transfer.finalReply)));
            }
            continue;
        }
        const QString reason = transfer.data->errorText();
        transfer.data->abort();
        if (event == DataConnection::Event::Failed && !m_policy.isCancelled()) {
            // The server reset the data connection; its reply says why.
            readFinalReply(transfer);
            return fail(QStringLiteral("%1: %2").arg(transfer.command, transfer.finalReply ? replyText(*transfer.finalReply) : reason));
        }
        dropConnection();
        return fail(QStringLiteral("%1: %2").arg(transfer.command, reason));
    }
    return true;
}

bool FtpProtocol::finishSending(Transfer& transfer)
{
    if (transfer.data) {
        // Plain, this returns at once; TLS may have the last bytes and its close_notify to send.
        DataConnection::Event event = transfer.data->finish(&m_control);
        while (event == DataConnection::Event::ControlReady) {
            if (!takeMidTransferReply(transfer))
                return false;
            event = transfer.data->finish(transfer.finalReply ? nullptr : &m_control);
        }
        if (event != DataConnection::Event::Done) {
            const QString reason = transfer.data->errorText();
            transfer.data->abort();
            dropConnection();
            return fail(QStringLiteral("%1: %2").arg(transfer.command, reason));
        }
    }
    return readFinalReply(transfer);
}

void FtpProtocol::abortTransfer(Transfer& transfer)
{
    if (transfer.data)
        transfer.data->abort();
    if (!isConnected())
        return;
    const QString kept = m_lastError;
    // The server answers the broken transfer; that reply must not be taken for the next command's.
    // Some servers never answer a reset data connection: then the connection goes, rather than
    // the job waiting out the idle time-out or a late reply being taken for another command's.
    readFinalReply(transfer, std::min(m_policy.idleTimeout(), abortReplyMilliseconds));
    m_lastError = kept;
}
