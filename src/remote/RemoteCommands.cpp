#include "RemoteCommands.h"

#include "ConnectionJobs.h"
#include "DownloadAsDialog.h"
#include "DownloadJob.h"
#include "DownloadPaths.h"
#include "EditedCopies.h"
#include "EntryListModel.h"
#include "JobContext.h"
#include "JobRunner.h"
#include "Prompter.h"
#include "RemoteDeleteJob.h"
#include "RemoteFileJobs.h"
#include "RemotePane.h"
#include "TextCatalogue.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>

RemoteCommands::RemoteCommands(RemotePane& pane, JobRunner& runner, RemoteEnvironment environment, QWidget* window)
    : QObject(window)
    , m_pane(pane)
    , m_runner(runner)
    , m_environment(std::move(environment))
    , m_window(window)
{
    if (m_environment.uploadCopy)
        m_edits = new EditedCopies(runner, m_environment, window);
}

void RemoteCommands::download()
{
    QList<SelectedRow> rows;
    for (const FileEntry& row : m_pane.selectedRows())
        rows.append({row.name, row.isFolderLike(), row.size});
    downloadRows(std::move(rows), m_pane.folder(), m_environment.localFolder());
}

void RemoteCommands::downloadDropped(const DraggedRows& rows, const QString& targetFolder)
{
    QList<SelectedRow> selected;
    for (const DraggedRow& row : rows.rows)
        selected.append({row.name, row.isFolder, row.size});
    downloadRows(std::move(selected), rows.folder, targetFolder);
}

void RemoteCommands::downloadRows(QList<SelectedRow> rows, const QString& remoteFolder, const QString& targetFolder)
{
    DownloadRequest request;
    request.rows = std::move(rows);
    request.remoteFolder = remoteFolder;
    request.targetFolder = targetFolder;
    request.settings = m_environment.settings();
    // Busy, not blocking, while the selection is walked; the queue's workers then transfer it
    // while the windows stay usable.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QPointer<RemoteCommands> self(this);
    m_runner.start<DownloadResult>(
        [request](JobContext& context) { return DownloadJob(context, request).downloadSelection(); },
        [self, password = request.settings.password](DownloadResult result) {
            QApplication::restoreOverrideCursor();
            if (!self)
                return;
            auto finished = [self, target = result.targetFolder] {
                if (!self)
                    return;
                self->m_environment.showLocalFolder(target);
                Q_EMIT self->downloadFinished();
            };
            if (self->m_environment.queueTransfers)
                self->m_environment.queueTransfers(std::move(result.items), password, finished);
            else
                finished();
        });
    reconnectToPaneFolder();
}

void RemoteCommands::reconnectToPaneFolder()
{
    const ConnectionSettings settings = m_environment.settings();
    const QString folder = m_pane.folder();
    m_runner.start([settings, folder](JobContext& context) { ConnectionJobs::reconnectTo(context, settings, folder); });
}

void RemoteCommands::downloadAs()
{
    if (!singleSelection(RemoteKeys::menu.oneFile))
        return;
    const std::optional<FileEntry> row = m_pane.currentRow();
    // ".." (and any name holding it) is not offered; nor is a name that is no plain name of this
    // folder, which would fetch another file than the one shown.
    if (!row || row->name.contains(QStringLiteral("..")) || !DownloadPaths::isUsableLocalName(row->name))
        return;
    const int index = m_pane.listView()->currentRow();
    const DownloadAsDialog::RemoteFile file{row->name, m_pane.model()->text(index, EntryListModel::SizeColumn),
                                            m_pane.model()->text(index, EntryListModel::ChangedColumn)};
    auto* dialog = new DownloadAsDialog(file, m_pane.typeInfo(), m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<RemoteCommands> self(this);
    connect(dialog, &QDialog::accepted, this, [self, dialog] {
        const QString folder = self->m_pane.folder();
        const QString remoteName = dialog->remoteName();
        const QString newName = dialog->newName();
        const QString target = DownloadPaths::withTrailingSlash(self->m_environment.localFolder());
        QApplication::setOverrideCursor(Qt::BusyCursor);
        self->m_runner.start<bool>(
            [folder, remoteName, target, newName](JobContext& context) {
                return RemoteFileJobs::downloadAs(context, folder, remoteName, target, newName);
            },
            [self, target](bool) {
                QApplication::restoreOverrideCursor();
                if (self && self->m_environment.listLocalFolder)
                    self->m_environment.listLocalFolder(target);
            });
    });
    // Modal for the main window, without a nested event loop.
    dialog->open();
}

void RemoteCommands::open()
{
    openRemoteFile(RemoteKeys::menu, false);
}

void RemoteCommands::toolbarOpen()
{
    openRemoteFile(RemoteKeys::pane, false);
}

void RemoteCommands::openWith()
{
    openRemoteFile(RemoteKeys::menu, true);
}

void RemoteCommands::openRemoteFile(const RemoteCommandKeys& keys, bool chooseProgram)
{
    if (!singleSelection(keys.oneFile))
        return;
    const std::optional<FileEntry> row = m_pane.currentRow();
    RemoteFileJobs::OpenRequest request;
    request.folder = m_pane.folder();
    request.name = row ? row->name : QString();
    request.folderRow = !row || row->isFolderLike();
    // A copy that is watched has a folder of its own per server folder: files of one name from
    // two folders are edited apart.
    const CopyOrigin origin{m_environment.settings(), request.folder, request.name};
    request.watchState = m_edits && !request.folder.isEmpty();
    // A new download would overwrite changes to the opened copy that never reached the server.
    const QString edited = request.watchState ? m_edits->unsentCopy(origin) : QString();
    if (!edited.isEmpty() && QFileInfo::exists(edited)
        && showMessage(m_window, getText("EDIT_UNSENT").arg(origin.remotePath()), PromptIcon::Question,
                       PromptButtons::YesNo)
               == PromptAnswer::Yes) {
        if (!chooseProgram)
            openDownloaded(edited, request.name, keys);
        else if (m_environment.chooseProgram)
            m_environment.chooseProgram(edited);
        return;
    }
    if (request.watchState) {
        request.subfolder = origin.subfolder();
        m_edits->opening(origin);
    }
    // Open-with has its own start line; the rest is shared.
    const char* startKey = chooseProgram ? "FRMPUSERVER_DOWNSTART" : keys.downStart;
    QPointer<RemoteCommands> self(this);
    m_runner.start<RemoteFileJobs::OpenDownload>(
        [request, startKey, keys](JobContext& context) {
            return RemoteFileJobs::downloadForOpening(context, request, startKey, keys.downOk, keys.downFailed);
        },
        [self, name = request.name, keys, chooseProgram, origin,
         watch = request.watchState](RemoteFileJobs::OpenDownload download) {
            if (self && watch)
                self->m_edits->opened(origin, download.localPath, download.state);
            if (!self || download.localPath.isEmpty())
                return;
            if (!chooseProgram) {
                self->openDownloaded(download.localPath, name, keys);
                return;
            }
            self->appendHistory(getText("FRMPUSERVER_OPENDIA"), HistoryColour::Black);
            if (self->m_environment.chooseProgram)
                self->m_environment.chooseProgram(download.localPath);
        });
}

void RemoteCommands::openDownloaded(const QString& localPath, const QString& name, const RemoteCommandKeys& keys)
{
    using ShellServices::OpenResult;
    const OpenResult result = m_environment.openFile ? m_environment.openFile(localPath) : OpenResult::NoProgram;
    if (result != OpenResult::NoProgram) {
        // The menu's variant shares its text with the menu entry: its access key is no part of a line.
        appendHistory(withoutMnemonic(getText(keys.opening)) + QLatin1Char(' ') + name, HistoryColour::Black);
        if (result == OpenResult::Opened)
            appendHistory(getText(keys.openOk), HistoryColour::Green);
        else
            appendHistory(getText("MPUB_OPENFAILED") + QLatin1Char(' ') + name, HistoryColour::Red);
        return;
    }
    const QString question = getText(keys.noApp1) + QLatin1Char('\n') + getText(keys.noApp2);
    if (showMessage(m_window, question, PromptIcon::None, PromptButtons::YesNo) == PromptAnswer::Yes) {
        if (m_environment.chooseProgram)
            m_environment.chooseProgram(localPath);
        return;
    }
    appendHistory(getText(keys.openCancel), HistoryColour::Red);
}

void RemoteCommands::rename()
{
    if (!singleSelection(RemoteKeys::menu.oneFile))
        return;
    // The name exactly as listed: one with blanks at its ends is renamed all the same.
    QPointer<RemoteCommands> self(this);
    m_runner.start<bool>(
        [folder = m_pane.folder(), name = m_pane.currentName()](JobContext& context) {
            return RemoteFileJobs::renameEntry(context, folder, name);
        },
        [self](bool renamed) {
            if (self && renamed)
                self->m_pane.refreshRemote(true);
        });
}

void RemoteCommands::newFolder()
{
    createFolder(RemoteKeys::menu, false);
}

void RemoteCommands::toolbarNewFolder()
{
    createFolder(RemoteKeys::pane, true);
}

void RemoteCommands::createFolder(const RemoteCommandKeys& keys, bool reconnectFirst)
{
    QPointer<RemoteCommands> self(this);
    m_runner.start<bool>(
        [folder = m_pane.folder(), keys, reconnectFirst, settings = m_environment.settings()](JobContext& context) {
            return RemoteFileJobs::createFolder(context, folder, keys, reconnectFirst ? &settings : nullptr);
        },
        [self](bool created) {
            if (self && created)
                self->m_pane.refreshRemote(true);
        });
}

void RemoteCommands::deleteSelection()
{
    RemoteDeleteRequest request;
    qsizetype count = 0;
    const FileEntry* single = nullptr;
    const QList<FileEntry> rows = m_pane.selectedRows();
    for (const FileEntry& row : rows) {
        request.rows.append({row.name, row.isFolderLike(), row.kind == EntryKind::Link});
        // The rows the delete will take on (it passes over "..").
        if (!row.name.contains(QStringLiteral(".."))) {
            ++count;
            single = &row;
        }
    }
    // A single key press must not take a folder tree off the server: ask once, for everything.
    if (count > 0 && !confirmDelete(count, remotePath(single->name), single->kind == EntryKind::Folder)) {
        appendHistory(getText("MSDEL_DELCANCEL"), HistoryColour::Red);
        return;
    }
    request.startFolder = m_pane.folder();
    request.settings = m_environment.settings();
    request.pathBoxEntries = m_pane.pathBoxEntries();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QPointer<RemoteCommands> self(this);
    m_runner.start<RemoteDeleteResult>(
        [request](JobContext& context) { return RemoteDeleteJob(context, request).deleteSelection(); },
        [self](RemoteDeleteResult result) {
            QApplication::restoreOverrideCursor();
            if (!self)
                return;
            self->m_pane.removePaths(result.gonePaths);
            self->m_pane.refreshRemote(true);
            self->m_pane.removeStalePaths();
        });
}

bool RemoteCommands::confirmDelete(qsizetype count, const QString& path, bool isFolder)
{
    QString question;
    if (count > 1)
        question = getText("MSDEL_FILEDEL1") + QLatin1Char(' ') + QString::number(count) + QLatin1Char(' ')
                   + getText("MSDEL_FILEDEL2");
    else if (isFolder)
        question = getText("MSDEL_FOLDDEL1") + QLatin1Char(' ') + path + QLatin1Char(' ') + getText("MSDEL_FOLDDEL2");
    else
        question = getText("MSDEL_DELETEIT1") + QLatin1Char(' ') + path + QLatin1Char(' ') + getText("MSDEL_DELETEIT2");
    return showMessage(m_window, question, PromptIcon::None, PromptButtons::YesNo) == PromptAnswer::Yes;
}

bool RemoteCommands::singleSelection(const char* oneFileKey)
{
    if (m_pane.selectedRows().size() < 2)
        return true;
    showMessage(m_window, getText(oneFileKey), PromptIcon::Information);
    return false;
}

void RemoteCommands::appendHistory(const QString& text, HistoryColour colour)
{
    if (m_environment.appendHistory)
        m_environment.appendHistory(text, colour);
}

QString RemoteCommands::remotePath(const QString& name) const
{
    return DownloadPaths::withTrailingSlash(m_pane.folder()) + name;
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
