#include "UploadCommands.h"

#include "AsciiList.h"
#include "JobContext.h"
#include "JobRunner.h"
#include "LocalPane.h"
#include "Prompter.h"
#include "TextCatalogue.h"
#include "UploadAsDialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>

UploadCommands::UploadCommands(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window)
    : QObject(window)
    , m_pane(pane)
    , m_runner(runner)
    , m_environment(std::move(environment))
    , m_window(window)
{
}

UploadRequest UploadCommands::makeRequest(UploadVariant variant) const
{
    UploadRequest request;
    // The folder the rows were listed from.
    request.sourceFolder = m_pane.listedFolder().isEmpty() ? m_pane.currentFolderPath() : m_pane.listedFolder();
    if (m_environment.remoteFolder)
        request.remoteFolder = m_environment.remoteFolder();
    if (m_environment.settings)
        request.settings = m_environment.settings();
    if (m_environment.uploadType)
        request.type = m_environment.uploadType();
    request.type.asciiExtensions = AsciiList::load();
    request.variant = variant;
    return request;
}

bool UploadCommands::requireConnection(UploadVariant variant) const
{
    if (m_runner.isConnected())
        return true;
    showMessage(m_window, getText(variant == UploadVariant::Main ? "MPUB_NOCONN" : "FRMPULOC_NOCONN"),
                PromptIcon::Information);
    return false;
}

void UploadCommands::upload(UploadVariant variant)
{
    if (!requireConnection(variant))
        return;
    UploadRequest request = makeRequest(variant);
    for (const FileEntry& entry : m_pane.selectedEntries())
        request.rows.append({entry.name, entry.isFolderLike()});
    start(std::move(request), [](UploadJob& job) { return job.uploadSelection(); });
}

void UploadCommands::uploadDropped(const QList<DraggedRows>& groups, const QString& remoteFolder)
{
    if (!requireConnection(UploadVariant::Main))
        return;
    for (const DraggedRows& group : groups) {
        UploadRequest request = makeRequest(UploadVariant::Main);
        request.sourceFolder = group.folder;
        request.remoteFolder = remoteFolder;
        for (const DraggedRow& row : group.rows)
            request.rows.append({row.name, row.isFolder, row.size});
        start(std::move(request), [](UploadJob& job) { return job.uploadSelection(); });
    }
}

void UploadCommands::uploadAs()
{
    const QList<FileEntry> selected = m_pane.selectedEntries();
    if (selected.size() >= 2) {
        showMessage(m_window, getText("FRMPULOC_ONEFILE"), PromptIcon::Information);
        return;
    }
    if (!m_runner.isConnected()) {
        showMessage(m_window, getText("FRMPULOC_NOCONN"), PromptIcon::Information);
        return;
    }
    const std::optional<FileEntry> entry = selected.size() == 1 ? selected.first() : m_pane.currentEntry();
    if (!entry)
        return;
    auto* dialog = new UploadAsDialog(*entry, nullptr, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<UploadAsDialog> shown(dialog);
    connect(dialog, &QDialog::accepted, this, [this, shown] {
        if (!shown)
            return;
        const QString localName = shown->localName();
        const QString newName = shown->newName();
        start(makeRequest(UploadVariant::Main),
              [localName, newName](UploadJob& job) { return job.uploadAs(localName, newName); });
    });
    dialog->open();
}

void UploadCommands::uploadCopy(const QString& localPath, const QString& remoteFolder, const QString& remoteName,
                                std::function<void(bool sent)> done)
{
    const QFileInfo copy(localPath);
    UploadRequest request = makeRequest(UploadVariant::Main);
    request.sourceFolder = copy.path();
    request.remoteFolder = remoteFolder;
    start(
        std::move(request),
        [localName = copy.fileName(), remoteName](UploadJob& job) { return job.uploadAs(localName, remoteName); },
        std::move(done));
}

void UploadCommands::start(UploadRequest request, std::function<UploadResult(UploadJob&)> work,
                           std::function<void(bool sent)> done)
{
    // Busy, not blocking: the windows stay usable while the upload is walked (or, for upload-as,
    // sent on the browsing connection); the queue's workers send the selection's items.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const QString password = request.settings.password;
    QPointer<UploadCommands> self(this);
    m_runner.start<UploadResult>(
        [request = std::move(request), work = std::move(work)](JobContext& context) {
            UploadJob job(context, request);
            return work(job);
        },
        [self, password, done = std::move(done)](UploadResult result) {
            QApplication::restoreOverrideCursor();
            if (done)
                done(result.filesUploaded > 0);
            if (!self)
                return;
            auto finished = [self, anythingToDo = result.anythingToDo] {
                if (!self)
                    return;
                if (anythingToDo && self->m_environment.refreshRemote)
                    self->m_environment.refreshRemote();
                Q_EMIT self->uploadFinished();
            };
            if (!result.items.isEmpty() && self->m_environment.queueTransfers)
                self->m_environment.queueTransfers(std::move(result.items), password, finished);
            else
                finished();
        });
}
