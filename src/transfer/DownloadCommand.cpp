#include "DownloadCommand.h"

#include "JobContext.h"
#include "LocalPane.h"
#include "SessionRunner.h"

#include <QApplication>
#include <QPointer>

DownloadCommand::DownloadCommand(SessionRunner& runner, LocalPane& localPane, QObject* parent)
    : QObject(parent)
    , m_runner(runner)
    , m_localPane(localPane)
{
}

void DownloadCommand::downloadSelection(const QList<SelectedRow>& rows, const ConnectionSettings& settings,
                                        const QString& remoteFolder)
{
    DownloadRequest request{rows, remoteFolder, m_localPane.currentFolderPath(), settings};
    // The target's drive as it is now: the user may switch drives while the download runs.
    const QString driveRoot = m_localPane.driveRoot();
    // Busy, not blocking: the windows stay usable while the download runs.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QPointer<DownloadCommand> self(this);
    m_runner.start<DownloadResult>(
        [request = std::move(request)](JobContext& context) mutable {
            // Until every caller passes the folder the remote pane shows.
            if (request.remoteFolder.isEmpty() && context.session().isConnected())
                request.remoteFolder = context.session().ftpCurrentDir();
            return DownloadJob(context, request).downloadSelection();
        },
        [self, driveRoot](DownloadResult result) {
            QApplication::restoreOverrideCursor();
            if (!self)
                return;
            showTargetFolder(self->m_localPane, result.targetFolder, driveRoot);
            Q_EMIT self->finished(result);
        });
}

void DownloadCommand::showTargetFolder(LocalPane& localPane, const QString& folder, const QString& driveRoot)
{
    localPane.readDrive(driveRoot);
    // Choosing the folder opens the tree down to its node, selects it and lists the folder.
    if (folder.startsWith(localPane.driveRoot()))
        localPane.choosePath(folder);
    // A folder gone meanwhile, or one outside the drive, still gets its (empty) listing.
    if (localPane.listedFolder() != folder)
        localPane.viewFolder(folder);
}
