#include "DownloadMain.h"

#include "DownloadJob.h"
#include "JobCommand.h"

#include <QDir>

int runDownload(const QStringList& arguments)
{
    JobCommand command("download", QStringLiteral("REMOTEFOLDER TARGETDIR NAME..."));
    if (!command.parse(arguments, 3))
        return 2;
    QStringList& rest = command.operands();
    const QString remoteFolder = rest.takeFirst();
    const QString target = QDir(rest.takeFirst()).absolutePath();
    if (!QFileInfo(target).isDir())
        return command.usage(QStringLiteral("no folder %1").arg(target));
    const QList<SelectedRow> rows = JobCommand::rowsOf(rest);
    const ConnectionSettings settings = command.settings();
    // The walk on one connection, as the remote pane's, then the items through the queue.
    QList<TransferItem> items;
    const int walked = command.run<DownloadResult>(
        remoteFolder,
        [rows, target, settings](JobContext& context, const QString& folder) {
            return DownloadJob(context, DownloadRequest{rows, folder, target + QLatin1Char('/'), settings}).downloadSelection();
        },
        [&items](const DownloadResult& result) {
            items = result.items;
            return !items.isEmpty();
        });
    if (walked != 0)
        return walked;
    const JobCommand::QueueCounts counts = command.runQueue(std::move(items));
    command.err() << "fetched " << counts.files << " files on " << command.connections() << " connections, "
                  << counts.failed << " items failed\n";
    return counts.failed == 0 ? 0 : 1;
}
