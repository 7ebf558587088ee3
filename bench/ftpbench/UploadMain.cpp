#include "UploadMain.h"

#include "AsciiList.h"
#include "JobCommand.h"
#include "UploadJob.h"

#include <QCoreApplication>
#include <QDir>

int runUpload(const QStringList& arguments)
{
    // AUTO reads the user's ASCII list from the program's own config folder.
    QCoreApplication::setApplicationName(QStringLiteral("ftpclient"));
    JobCommand command("upload", QStringLiteral("LOCALFOLDER REMOTEFOLDER NAME..."),
                       QStringLiteral("[--type ascii|binary|auto]"));
    UploadType type{TransferType::Binary, TransferFlag::Binary, {}};
    const auto typeOption = [&type](QStringList& rest, QString& problem) {
        if (rest.first() != QLatin1String("--type"))
            return false;
        rest.removeFirst();
        const QString value = rest.isEmpty() ? QString() : rest.takeFirst();
        if (value == QLatin1String("ascii"))
            type = {TransferType::Ascii, TransferFlag::Ascii, {}};
        else if (value == QLatin1String("binary"))
            type = {TransferType::Binary, TransferFlag::Binary, {}};
        else if (value == QLatin1String("auto"))
            type = {TransferType::Auto, TransferFlag::Binary, AsciiList::load()};
        else
            problem = QStringLiteral("unknown type %1").arg(value);
        return true;
    };
    if (!command.parse(arguments, 3, typeOption))
        return 2;
    QStringList& rest = command.operands();
    const QString source = QDir(rest.takeFirst()).absolutePath();
    const QString remoteFolder = rest.takeFirst();
    if (!QFileInfo(source).isDir())
        return command.usage(QStringLiteral("no folder %1").arg(source));
    const UploadRequest request{source + QLatin1Char('/'), JobCommand::rowsOf(rest), QString(), command.settings(),
                                type, UploadVariant::Main, command.retry()};
    // The walk, as the local pane's upload does, then the items through the queue.
    QList<TransferItem> items;
    const int walked = command.run<UploadResult>(
        remoteFolder,
        [request](JobContext& context, const QString& folder) {
            UploadRequest inFolder = request;
            inFolder.remoteFolder = folder;
            return UploadJob(context, inFolder).uploadSelection();
        },
        [&items](const UploadResult& result) {
            items = result.items;
            return !items.isEmpty();
        });
    if (walked != 0)
        return walked;
    const JobCommand::QueueCounts counts = command.runQueue(std::move(items));
    command.err() << "uploaded " << counts.files << " files on " << command.connections() << " connections, "
                  << counts.failed << " items failed\n";
    return counts.failed == 0 ? 0 : 1;
}
