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
    const RetrySettings retry = command.retry();
    return command.run<DownloadResult>(
        remoteFolder,
        [rows, target, settings, retry](JobContext& context, const QString& folder) {
            DownloadRequest request{rows, folder, target + QLatin1Char('/'), settings};
            request.retry = retry;
            return DownloadJob(context, request).downloadSelection();
        },
        [&command](const DownloadResult& result) {
            command.err() << "fetched " << result.filesFetched << " files, " << result.filesFailed << " failed, "
                          << result.foldersFailed << " folders failed\n";
            return result.filesFailed == 0 && result.foldersFailed == 0;
        });
}
