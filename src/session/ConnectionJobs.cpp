#include "ConnectionJobs.h"

#include "JobContext.h"
#include "TextCatalogue.h"

namespace ConnectionJobs {

namespace {

// How long a connection that is kept may take to answer; one that is slower is replaced.
constexpr int aliveAnswerMilliseconds = 5000;

} // namespace

bool connect(JobContext& context, const ConnectionSettings& settings, ConnectVariant variant)
{
    FtpOperations& session = context.session();
    if (!session.openConnection(settings))
        return false;
    session.ftpSetDir(QStringLiteral("/"));
    context.appendHistory(getText("CONNECT_WITH") + QLatin1Char(' ') + settings.host + QStringLiteral(" ..."));
    if (variant == ConnectVariant::Menu)
        context.appendHistory(getText("CONNECTION_TO") + QLatin1Char(' ') + settings.host + QLatin1Char(' ')
                                  + getText("ESTABLSHED"),
                              HistoryColour::Green);
    else
        context.appendHistory(getText("CONNECTION_WITH") + QLatin1Char(' ') + settings.host + QLatin1Char(' ')
                                  + getText("WAS_ESTABLISHT"),
                              HistoryColour::Green);
    return true;
}

bool reconnect(JobContext& context, const ConnectionSettings& settings)
{
    FtpOperations& session = context.session();
    if (session.isConnected() && session.answersNoop(aliveAnswerMilliseconds) && session.ftpSetDir(QStringLiteral("/")))
        return true;
    session.closeConnection();
    if (session.openConnection(settings)) {
        session.ftpSetDir(QStringLiteral("/"));
        return true;
    }
    if (context.isCancelled())
        return false;
    const QString text = getText("MPUB_NOCONN1") + QLatin1Char('\n') + getText("MPUB_NOCONN2") + QLatin1Char('\n')
                         + getText("MPUB_NOCONN3");
    context.ask({text, PromptIcon::Exclamation, PromptButtons::Ok, {}});
    context.reconnectFailed();
    return false;
}

bool reconnectTo(JobContext& context, const ConnectionSettings& settings, const QString& folder)
{
    if (!reconnect(context, settings))
        return false;
    return folder.isEmpty() || context.session().ftpSetDir(folder);
}

bool connectionLost(JobContext& context)
{
    return context.session().ftpCurrentDir().trimmed().isEmpty();
}

} // namespace ConnectionJobs
