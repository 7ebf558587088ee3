#include "RemoteDeleteMain.h"

#include "JobContext.h"
#include "RemoteDeleteJob.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>

namespace {

int usage(QTextStream& err, const QString& problem)
{
    err << "ftpbench rdelete: " << problem << "\n"
        << "usage: ftpbench rdelete [--passive] HOST PORT USER PASS REMOTEFOLDER NAME...\n"
        << "       a NAME ending in \"/\" is a folder\n";
    err.flush();
    return 2;
}

} // namespace

int runRemoteDelete(const QStringList& arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList rest = arguments;
    RemoteDeleteRequest request;
    if (!rest.isEmpty() && rest.first() == QLatin1String("--passive")) {
        request.settings.passive = true;
        rest.removeFirst();
    }
    if (rest.size() < 6)
        return usage(err, QStringLiteral("missing arguments"));
    request.settings.host = rest.takeFirst();
    request.settings.port = rest.takeFirst();
    request.settings.user = rest.takeFirst();
    request.settings.password = rest.takeFirst();
    const QString remoteFolder = rest.takeFirst();
    for (const QString& name : std::as_const(rest)) {
        if (name.endsWith(QLatin1Char('/')) && name.size() > 1)
            request.rows.append({name.chopped(1), true, false});
        else
            request.rows.append({name, false, false});
    }

    const QString catalogue = QCoreApplication::applicationDirPath() + QStringLiteral("/lang.db");
    TextCatalogue::instance().openCatalogue(catalogue);
    TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
    if (!TextCatalogue::instance().isOpen())
        err << "ftpbench rdelete: cannot open " << catalogue << "; texts show as ########\n";

    SessionRunner runner;
    QObject::connect(&runner, &SessionRunner::historyLine, [&out](const QString& text, HistoryColour colour) {
        out << colourName(colour) << '\t' << text << '\n';
    });
    runner.setMessageHandler([&err](const MessageRequest& message) {
        err << "message: " << QString(message.text).replace(QLatin1Char('\n'), QLatin1Char(' ')) << '\n';
        err.flush();
        return PromptAnswer::Ok;
    });

    QEventLoop loop;
    QString connectError;
    RemoteDeleteResult result;
    // As the user would: connect, go to the folder (the pane shows it), then delete from there.
    auto startFolder = std::make_shared<QString>();
    runner.start<QString>(
        [settings = request.settings, remoteFolder, startFolder](JobContext& context) {
            FtpOperations& session = context.session();
            if (session.openConnection(settings) && session.ftpSetDir(QStringLiteral("/"))
                && session.ftpSetDir(remoteFolder)) {
                *startFolder = session.ftpCurrentDir();
                return QString();
            }
            return session.lastError().isEmpty() ? QStringLiteral("cannot change to %1").arg(remoteFolder)
                                                 : session.lastError();
        },
        [&connectError](QString error) { connectError = std::move(error); });
    runner.start<RemoteDeleteResult>(
        [request, startFolder](JobContext& context) {
            if (startFolder->isEmpty())
                return RemoteDeleteResult{};
            RemoteDeleteRequest withStart = request;
            withStart.startFolder = *startFolder;
            return RemoteDeleteJob(context, withStart).deleteSelection();
        },
        [&](RemoteDeleteResult done) {
            result = std::move(done);
            loop.quit();
        });
    loop.exec();
    out.flush();
    if (!connectError.isEmpty()) {
        err << "ftpbench rdelete: " << connectError << '\n';
        return 1;
    }
    err << "deleted " << result.deleted << " entries, " << result.failed << " failed\n";
    return result.failed == 0 ? 0 : 1;
}
