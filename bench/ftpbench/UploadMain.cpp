#include "UploadMain.h"

#include "AsciiList.h"
#include "JobContext.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"
#include "UploadJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTextStream>

#include <memory>

namespace {

int usage(QTextStream& err, const QString& problem)
{
    err << "ftpbench upload: " << problem << "\n"
        << "usage: ftpbench upload [--passive] [--type ascii|binary|auto] HOST PORT USER PASS LOCALFOLDER REMOTEFOLDER NAME...\n"
        << "       a NAME ending in \"/\" is a folder\n";
    err.flush();
    return 2;
}

} // namespace

int runUpload(const QStringList& arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    // AUTO reads the user's ASCII list from the program's own config folder.
    QCoreApplication::setApplicationName(QStringLiteral("ftpclient"));
    QStringList rest = arguments;
    ConnectionSettings settings;
    UploadType type{TransferType::Binary, TransferFlag::Binary, {}};
    while (!rest.isEmpty() && rest.first().startsWith(QLatin1String("--"))) {
        const QString option = rest.takeFirst();
        if (option == QLatin1String("--passive")) {
            settings.passive = true;
        } else if (option == QLatin1String("--type") && !rest.isEmpty()) {
            const QString value = rest.takeFirst();
            if (value == QLatin1String("ascii"))
                type = {TransferType::Ascii, TransferFlag::Ascii, {}};
            else if (value == QLatin1String("binary"))
                type = {TransferType::Binary, TransferFlag::Binary, {}};
            else if (value == QLatin1String("auto"))
                type = {TransferType::Auto, TransferFlag::Binary, AsciiList::load()};
            else
                return usage(err, QStringLiteral("unknown type %1").arg(value));
        } else {
            return usage(err, QStringLiteral("unknown option %1").arg(option));
        }
    }
    if (rest.size() < 7)
        return usage(err, QStringLiteral("missing arguments"));
    settings.host = rest.takeFirst();
    settings.port = rest.takeFirst();
    settings.user = rest.takeFirst();
    settings.password = rest.takeFirst();
    const QString source = QDir(rest.takeFirst()).absolutePath();
    const QString remoteFolder = rest.takeFirst();
    if (!QFileInfo(source).isDir())
        return usage(err, QStringLiteral("no folder %1").arg(source));
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
        err << "ftpbench upload: cannot open " << catalogue << "; texts show as ########\n";

    SessionRunner runner;
    QObject::connect(&runner, &SessionRunner::historyLine, [&out](const QString& text, HistoryColour colour) {
        out << colourName(colour) << '\t' << text << '\n';
    });
    runner.setMessageHandler([&err](const MessageRequest& request) {
        err << "message: " << QString(request.text).replace(QLatin1Char('\n'), QLatin1Char(' ')) << '\n';
        err.flush();
        return PromptAnswer::Ok;
    });

    QEventLoop loop;
    QString connectError;
    UploadResult result;
    bool connected = false;
    auto inRemoteFolder = std::make_shared<bool>(false);
    // As the user would: connect, go to the folder, then upload into the folder the pane shows.
    runner.start<QString>(
        [settings, remoteFolder, inRemoteFolder](JobContext& context) {
            FtpOperations& session = context.session();
            *inRemoteFolder = session.openConnection(settings) && session.ftpSetDir(remoteFolder);
            if (*inRemoteFolder)
                return QString();
            return session.lastError().isEmpty() ? QStringLiteral("cannot change to %1").arg(remoteFolder)
                                                 : session.lastError();
        },
        [&](QString error) {
            connectError = std::move(error);
            connected = connectError.isEmpty();
        });
    const UploadRequest request{source + QLatin1Char('/'), rows, QString(), settings, type, UploadVariant::Main};
    runner.start<UploadResult>(
        [request, inRemoteFolder](JobContext& context) {
            if (!*inRemoteFolder)
                return UploadResult{};
            // The folder the server reports after the change, as the remote pane would show it.
            UploadRequest inFolder = request;
            inFolder.remoteFolder = context.session().ftpCurrentDir();
            return UploadJob(context, inFolder).uploadSelection();
        },
        [&](UploadResult done) {
            result = std::move(done);
            loop.quit();
        });
    loop.exec();
    out.flush();
    if (!connected) {
        err << "ftpbench upload: " << connectError << '\n';
        return 1;
    }
    err << "uploaded " << result.filesUploaded << " files, " << result.filesFailed << " failed, "
        << result.foldersFailed << " folders failed\n";
    return result.filesFailed == 0 && result.foldersFailed == 0 ? 0 : 1;
}
