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

// The lines a connect that worked writes after the one that says so.
void appendConnected(JobContext& context, const ConnectFacts& facts)
{
    if (facts.tls == TlsOutcome::Encrypted)
        context.appendHistory(getText("TLS_ENCRYPTED") + QLatin1Char(' ') + facts.tlsVersion, HistoryColour::Green);
    else if (facts.tls == TlsOutcome::PlainFallback)
        context.appendHistory(getText("TLS_PLAIN"), HistoryColour::Blue);
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
        if (const char* key = failureKey(session.connectFacts()); key && !context.isCancelled()) {
            context.appendHistory(getText("CONNECT_WITH") + QLatin1Char(' ') + settings.host + QStringLiteral(" ..."));
            context.appendHistory(getText(key), HistoryColour::Red);
        }
        return false;
    }
    session.setDir(QStringLiteral("/"));
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
