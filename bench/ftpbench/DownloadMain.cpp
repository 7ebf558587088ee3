#include "DownloadMain.h"

#include "DownloadJob.h"
#include "JobContext.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"
#include "TlsOptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTextStream>

#include <memory>

namespace {

int usage(QTextStream& err, const QString& problem)
{
    err << "ftpbench download: " << problem << "\n"
        << "usage: ftpbench download [--passive] " << TlsOptions::usage()
        << " HOST PORT USER PASS REMOTEFOLDER TARGETDIR NAME...\n"
        << "       a NAME ending in \"/\" is a folder\n";
    err.flush();
    return 2;
}

} // namespace

int runDownload(const QStringList& arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList rest = arguments;
    ConnectionSettings settings;
    TlsOptions tls;
    while (!rest.isEmpty() && rest.first().startsWith(QLatin1String("--"))) {
        bool handled = false;
        QString problem;
        if (!tls.take(rest, settings, handled, problem))
            return usage(err, problem);
        if (handled)
            continue;
        if (rest.first() != QLatin1String("--passive"))
            return usage(err, QStringLiteral("unknown option %1").arg(rest.first()));
        settings.passive = true;
        rest.removeFirst();
    }
    if (rest.size() < 7)
        return usage(err, QStringLiteral("missing arguments"));
    settings.host = rest.takeFirst();
    settings.port = rest.takeFirst();
    settings.user = rest.takeFirst();
    settings.password = rest.takeFirst();
    const QString remoteFolder = rest.takeFirst();
    const QString target = QDir(rest.takeFirst()).absolutePath();
    if (!QFileInfo(target).isDir())
        return usage(err, QStringLiteral("no folder %1").arg(target));
    QList<SelectedRow> rows;
    for (const QString& name : std::as_const(rest)) {
        if (name.endsWith(QLatin1Char('/')) && name.size() > 1)
            rows.append({name.chopped(1), true});
        else
            rows.append({name, false});
    }

    const QString catalogue = QCoreApplication::applicationDirPath() + QStringLiteral("/lang.db");
    TextCatalogue::instance().openCatalogue(catalogue);
    TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
    if (!TextCatalogue::instance().isOpen())
        err << "ftpbench download: cannot open " << catalogue << "; texts show as ########\n";

    SessionRunner runner;
    QObject::connect(&runner, &SessionRunner::historyLine, [&out](const QString& text, HistoryColour colour) {
        out << colourName(colour) << '\t' << text << '\n';
    });
    runner.setMessageHandler([&err](const MessageRequest& request) {
        err << "message: " << QString(request.text).replace(QLatin1Char('\n'), QLatin1Char(' ')) << '\n';
        err.flush();
        return PromptAnswer::Ok;
    });

    runner.setCertificateHandler([&tls, &err](const CertificateInfo& info) { return tls.decide(info, err); });

    QEventLoop loop;
    QString connectError;
    DownloadResult result;
    bool connected = false;
    // Both jobs run on the session thread, one after the other.
    auto shownFolder = std::make_shared<QString>(); // absolute, as the remote pane would show it
    // As the user would: connect, go to the folder, then download from there.
    runner.start<QString>(
        [settings, remoteFolder, shownFolder](JobContext& context) {
            FtpOperations& session = context.session();
            if (session.openConnection(settings) && session.ftpSetDir(QStringLiteral("/")) && session.ftpSetDir(remoteFolder))
                *shownFolder = session.ftpCurrentDir();
            if (!shownFolder->isEmpty())
                return QString();
            return session.lastError().isEmpty() ? QStringLiteral("cannot change to %1").arg(remoteFolder)
                                                 : session.lastError();
        },
        [&](QString error) {
            connectError = std::move(error);
            connected = connectError.isEmpty();
        });
    const QString targetFolder = target + QLatin1Char('/');
    runner.start<DownloadResult>(
        [rows, targetFolder, settings, shownFolder](JobContext& context) {
            if (shownFolder->isEmpty())
                return DownloadResult{};
            return DownloadJob(context, DownloadRequest{rows, *shownFolder, targetFolder, settings}).downloadSelection();
        },
        [&](DownloadResult done) {
            result = std::move(done);
            loop.quit();
        });
    loop.exec();
    out.flush();
    if (!connected) {
        err << "ftpbench download: " << connectError << '\n';
        return 1;
    }
    err << "fetched " << result.filesFetched << " files, " << result.filesFailed << " failed, "
        << result.foldersFailed << " folders failed\n";
    return result.filesFailed == 0 && result.foldersFailed == 0 ? 0 : 1;
}
