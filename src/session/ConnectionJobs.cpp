#include "ConnectionJobs.h"

#include "JobContext.h"
#include "RemoteOperations.h"
#include "TextCatalogue.h"

namespace {

// The red line of a connect that failed for a reason the history names: the encryption (none for
// other failures).
const char* failureKey(const ConnectFacts& facts)
{
    switch (facts.tls) {
    case TlsOutcome::NotOffered:
        return "TLS_NOTOFFERED";
    case TlsOutcome::CertificateRefused:
        return "TLS_CERTREFUSED";
    case TlsOutcome::Failed:
        return "TLS_FAILED";
    case TlsOutcome::NotAsked:
    case TlsOutcome::Encrypted:
    case TlsOutcome::PlainFallback:
        break;
    }
    return nullptr;
}

// The red line of a connect the user refused, by their answer to the peer-identity question (or
// an earlier one): that question was the message.
const char* refusalKey(const ConnectFacts& facts)
{
    return facts.tls == TlsOutcome::CertificateRefused ? "TLS_CERTREFUSED" : nullptr;
}

// The line of the user's answer about an SSH host key, with the key named (none when the known-hosts
// file held the key, or no key was met).
void appendHostKey(JobContext& context, const ConnectFacts& facts)
{
    const char* key = nullptr;
    HistoryColour colour = HistoryColour::Green;
    switch (facts.hostKey) {
    case HostKeyOutcome::TrustedAlways:
        key = "SSH_HOSTKEY_ALWAYS";
        break;
    case HostKeyOutcome::TrustedOnce:
        key = "SSH_HOSTKEY_ONCE";
        colour = HistoryColour::Blue;
        break;
    case HostKeyOutcome::Refused:
        key = facts.hostKeyChanged ? "SSH_HOSTKEY_CHANGED" : "SSH_HOSTKEY_REFUSED";
        colour = HistoryColour::Red;
        break;
    case HostKeyOutcome::NotMet:
    case HostKeyOutcome::Known:
        return;
    }
    context.appendHistory(getText(key) + QLatin1Char(' ') + facts.hostKeyType + QLatin1Char(' ') + facts.hostKeyFingerprint,
                          colour);
}

// The line of the SSH log-in method that worked.
void appendLogIn(JobContext& context, const ConnectFacts& facts)
{
    switch (facts.logIn) {
    case SshLogIn::Agent:
        context.appendHistory(getText("SSH_LOGIN_AGENT"), HistoryColour::Green);
        break;
    case SshLogIn::KeyFile:
        context.appendHistory(getText("SSH_LOGIN_KEYFILE") + QLatin1Char(' ') + facts.keyFile, HistoryColour::Green);
        break;
    case SshLogIn::Password:
        context.appendHistory(getText("SSH_LOGIN_PASSWORD"), HistoryColour::Green);
        break;
    case SshLogIn::KeyboardInteractive:
        context.appendHistory(getText("SSH_LOGIN_KBDINT"), HistoryColour::Green);
        break;
    case SshLogIn::None:
        break;
    }
}

// The red lines of an SSH connect that failed: the answer about the host key, then why.
void appendSshFailure(JobContext& context, const ConnectFacts& facts)
{
    appendHostKey(context, facts);
    if (facts.hostKey == HostKeyOutcome::Refused)
        return;
    if (facts.logInRefused)
        context.appendHistory(getText("SSH_LOGINFAILED") + QLatin1Char(' ') + facts.offeredMethods.join(QStringLiteral(", ")),
                              HistoryColour::Red);
    else
        context.appendHistory(getText("SSH_FAILED") + QLatin1Char(' ') + facts.sshFailure, HistoryColour::Red);
}

// The lines a connect that worked writes after the one that says so.
void appendConnected(JobContext& context, const ConnectFacts& facts)
{
    if (facts.tls == TlsOutcome::Encrypted)
        context.appendHistory(getText("TLS_ENCRYPTED") + QLatin1Char(' ') + facts.tlsVersion, HistoryColour::Green);
    else if (facts.tls == TlsOutcome::PlainFallback)
        context.appendHistory(getText("TLS_PLAIN"), HistoryColour::Blue);
    appendHostKey(context, facts);
    appendLogIn(context, facts);
}

} // namespace

namespace ConnectionJobs {

namespace {

// How long a connection that is kept may take to answer; one that is slower is replaced.
constexpr int aliveAnswerMilliseconds = 5000;

} // namespace

bool connect(JobContext& context, const ConnectionSettings& settings, ConnectVariant variant)
{
    RemoteOperations& session = context.session();
    session.forgetConnectDecision(); // a certificate trusted once is asked about again
    if (!session.openConnection(settings)) {
        const ConnectFacts facts = session.connectFacts();
        const char* key = failureKey(facts);
        if ((key || !facts.sshFailure.isEmpty()) && !context.isCancelled()) {
            context.appendHistory(getText("CONNECT_WITH") + QLatin1Char(' ') + settings.host + QStringLiteral(" ..."));
            if (key)
                context.appendHistory(getText(key), HistoryColour::Red);
            else
                appendSshFailure(context, facts);
        }
        return false;
    }
    session.setDir(session.startFolder());
    context.appendHistory(getText("CONNECT_WITH") + QLatin1Char(' ') + settings.host + QStringLiteral(" ..."));
    if (variant == ConnectVariant::Menu)
        context.appendHistory(getText("CONNECTION_TO") + QLatin1Char(' ') + settings.host + QLatin1Char(' ')
                                  + getText("ESTABLSHED"),
                              HistoryColour::Green);
    else
        context.appendHistory(getText("CONNECTION_WITH") + QLatin1Char(' ') + settings.host + QLatin1Char(' ')
                                  + getText("WAS_ESTABLISHT"),
                              HistoryColour::Green);
    appendConnected(context, session.connectFacts());
    return true;
}

bool reconnect(JobContext& context, const ConnectionSettings& settings)
{
    RemoteOperations& session = context.session();
    if (session.isConnected() && session.connectedWith(settings) && session.isAlive(aliveAnswerMilliseconds)
        && session.setDir(QStringLiteral("/")))
        return true;
    session.closeConnection();
    if (session.openConnection(settings)) {
        session.setDir(QStringLiteral("/"));
        return true;
    }
    if (context.isCancelled())
        return false;
    // A refusal was the user's own answer to the peer-identity question; the general message
    // would send them to the connection bar and the internet connection instead.
    if (const char* key = refusalKey(session.connectFacts())) {
        context.appendHistory(getText(key), HistoryColour::Red);
    } else if (session.connectFacts().hostKey == HostKeyOutcome::Refused) {
        appendHostKey(context, session.connectFacts());
    } else {
        const QString text = getText("MPUB_NOCONN1") + QLatin1Char('\n') + getText("MPUB_NOCONN2")
                             + QLatin1Char('\n') + getText("MPUB_NOCONN3");
        context.ask({text, PromptIcon::Exclamation, PromptButtons::Ok, {}});
    }
    context.reconnectFailed();
    return false;
}

bool reconnectTo(JobContext& context, const ConnectionSettings& settings, const QString& folder)
{
    if (!reconnect(context, settings))
        return false;
    return folder.isEmpty() || context.session().setDir(folder);
}

bool connectionLost(JobContext& context)
{
    return context.session().currentDir().trimmed().isEmpty();
}

} // namespace ConnectionJobs
