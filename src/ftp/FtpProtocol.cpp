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

bool FtpProtocol::fail(const QString& text, int replyCode)
{
    m_lastError = text;
    m_failureCode = replyCode;
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
                        FtpSettings::Encryption encryption, const CertificateCheck& check)
{
    disconnect();
    m_lastError.clear();
    m_password = password;
    m_features.clear();
    m_offersMlsd = false;
    m_mlsdShowsLinks = false;
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
        return fail(QStringLiteral("the server refused the connection: %1").arg(replyText(*greeting)), greeting->code);
    }

    if (encryption != FtpSettings::Encryption::Plain && !negotiateTls(host, encryption, check))
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
        return fail(QStringLiteral("login refused: %1").arg(why), reply->code);
    }
    if (m_encrypted && !protectData())
        return false;

    if (const auto features = command(u"FEAT")) {
        m_features = ReplyParsers::parseFeatures(*features);
        // MLST in FEAT means MLSD too (RFC 3659, 7.8); proftpd names only MLST. A server whose
        // MLSD then turns out to be missing is listed with LIST (see refuseMlsd()).
        m_offersMlsd = ReplyParsers::hasFeature(m_features, u"MLST") || ReplyParsers::hasFeature(m_features, u"MLSD");
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
        fail(QStringLiteral("the server closed the connection: %1").arg(replyText(*reply)), reply->code);
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
        reply = m_control.readReply(WaitPolicy::remainingMilliseconds(deadline));
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
        return fail(QStringLiteral("%1 %2: %3").arg(verb, argument, replyText(*reply)), reply->code);
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
