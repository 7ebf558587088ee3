#include "RemoteCommands.h"

#include "ConnectionJobs.h"
#include "DownloadJob.h"
#include "JobContext.h"
#include "JobRunner.h"
#include "RemotePane.h"

#include <QApplication>
#include <QPointer>

RemoteCommands::RemoteCommands(RemotePane& pane, JobRunner& runner, RemoteEnvironment environment, QWidget* window)
    : QObject(window)
    , m_pane(pane)
    , m_runner(runner)
    , m_environment(std::move(environment))
    , m_window(window)
{
}

void RemoteCommands::download()
{
    DownloadRequest request;
    for (const FileEntry& row : m_pane.selectedRows())
        request.rows.append({row.name, row.isFolderLike()});
    request.remoteFolder = m_pane.folder();
    request.targetFolder = m_environment.localFolder();
    request.settings = m_environment.settings();
    // Busy, not blocking: the windows stay usable while the download runs.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QPointer<RemoteCommands> self(this);
    m_runner.start<DownloadResult>(
        [request](JobContext& context) { return DownloadJob(context, request).downloadSelection(); },
        [self](DownloadResult result) {
            QApplication::restoreOverrideCursor();
            if (!self)
                return;
            self->m_environment.showLocalFolder(result.targetFolder);
            Q_EMIT self->downloadFinished();
        });
    reconnectToPaneFolder();
}

void RemoteCommands::reconnectToPaneFolder()
{
    const ConnectionSettings settings = m_environment.settings();
    const QString folder = m_pane.folder();
    m_runner.start([settings, folder](JobContext& context) { ConnectionJobs::reconnectTo(context, settings, folder); });
}

void RemoteCommands::refresh()
{
    m_pane.refreshRemote(true);
}

void RemoteCommands::up()
{
    // The current row after a listing is "..", so Up without a choice goes one level up.
    m_pane.changeFolder(m_pane.currentName());
}
