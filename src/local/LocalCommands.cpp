#include "LocalCommands.h"

#include "DesktopBus.h"
#include "LocalDeleteJob.h"
#include "LocalFileOperations.h"
#include "LocalPane.h"
#include "Prompter.h"
#include "PropertiesDialog.h"
#include "ShellServices.h"
#include "TextCatalogue.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include "UploadCommands.h"

LocalCommands::LocalCommands(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window)
    : QObject(window)
    , m_pane(pane)
    , m_runner(runner)
    , m_environment(std::move(environment))
    , m_window(window)
    , m_uploads(new UploadCommands(pane, runner, m_environment, window))
    , m_worker(window)
{
    connect(&m_worker, &LocalWorker::historyLine, this, &LocalCommands::appendHistory);
    connect(&m_worker, &LocalWorker::progressChanged, this, &LocalCommands::progressChanged);
    connect(&m_worker, &LocalWorker::idle, this, &LocalCommands::workFinished);
}

QString LocalCommands::rowFolder() const
{
    const QString listed = m_pane.listedFolder();
    return listed.isEmpty() ? m_pane.currentFolderPath() : listed;
}

void LocalCommands::appendHistory(const QString& text, HistoryColour colour)
{
    if (m_environment.appendHistory)
        m_environment.appendHistory(text, colour);
}

void LocalCommands::list(const QString& folder, Listing listing)
{
    if (listing == Listing::ContextMenu)
        m_pane.viewFolder(folder, CompareMode::Code, AttributeOrder::Command);
    else
        m_pane.viewFolder(folder);
}

void LocalCommands::open()
{
    const auto entry = m_pane.currentEntry();
    if (!entry)
        return;
    const QString path = rowFolder() + entry->name;
    const ShellServices::OpenResult result = ShellServices::openWithDefault(path);
    // Opening writes nothing to the history, unless the program did not start.
    if (result == ShellServices::OpenResult::NotStarted)
        appendHistory(getText("MPUB_OPENFAILED") + QLatin1Char(' ') + path, HistoryColour::Red);
    if (result != ShellServices::OpenResult::NoProgram)
        return;
    // A program file has no program of its own either, so it is never started directly.
    const QString question = getText("MPUB_NOAPP") + QLatin1Char('\n') + getText("MPUB_PROGSEL");
    if (showMessage(m_window, question, PromptIcon::None, PromptButtons::YesNo) == PromptAnswer::Yes)
        ShellServices::chooseAndOpen(path, m_window);
}

void LocalCommands::openWith()
{
    if (const auto entry = m_pane.currentEntry())
        ShellServices::chooseAndOpen(rowFolder() + entry->name, m_window);
}

void LocalCommands::showProperties()
{
    const auto entry = m_pane.currentEntry();
    if (!entry)
        return;
    const QString path = rowFolder() + entry->name;
    QPointer<QWidget> window(m_window);
    DesktopBus::showItemProperties(path, this, [window, path] {
        auto* dialog = new PropertiesDialog(path, window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    });
}

void LocalCommands::refresh()
{
    m_pane.refreshLocal();
}

void LocalCommands::refreshFromMenu()
{
    list(m_pane.currentFolderPath(), Listing::ContextMenu);
}

void LocalCommands::newFolder()
{
    createFolder(Listing::ContextMenu);
}

void LocalCommands::toolbarNewFolder()
{
    createFolder(Listing::Pane);
}

void LocalCommands::createFolder(Listing listing)
{
    const QString folder = rowFolder();
    const InputAnswer answer = askText(m_window, getText("FRMPULOC_DIRNAME"), {}, InputPosition::NearScreenCentre);
    const QString name = answer.accepted ? answer.text : QString();
    if (name.isEmpty())
        return;
    appendHistory(QStringLiteral("Aktion: Lege Verzeichnis ") + folder + name + QStringLiteral(" an"));
    const QString path = folder + name;
    // Any entry of that name is in the way, also a link that leads nowhere.
    const QFileInfo existing(path);
    if (!isSingleName(name) || existing.exists() || existing.isSymLink() || !QDir().mkdir(path)) {
        appendHistory(getText("FRMPULOC_GENFAIL"), HistoryColour::Red);
        return;
    }
    appendHistory(getText("FRMPULOC_GENOK"), HistoryColour::Green);
    m_pane.rebuildTree(folder, CompareMode::Code);
    list(folder, listing);
}

void LocalCommands::rename()
{
    renameEntry(Listing::ContextMenu);
}

void LocalCommands::mainMenuRename()
{
    renameEntry(Listing::Pane);
}

void LocalCommands::renameEntry(Listing listing)
{
    const QList<FileEntry> selected = m_pane.selectedEntries();
    if (selected.size() >= 2) {
        showMessage(m_window, getText("FRMPOPLOC_ONEFILE"), PromptIcon::Information);
        return;
    }
    if (selected.isEmpty())
        return;
    const FileEntry& entry = selected.first();
    const QString folder = rowFolder();
    const QString& old = entry.name;
    appendHistory(getText("FRMPULOC_RENAME2") + QLatin1Char(' ') + old);
    const InputAnswer answer = askText(m_window, getText("FRMPULOC_NEWNAME") + QLatin1Char(' ') + old + QStringLiteral(" ?"),
                                       old, InputPosition::NearScreenCentre);
    const QString name = answer.accepted ? answer.text : QString();
    if (name.isEmpty()) {
        appendHistory(getText("FRMPULOC_RENCANCEL"), HistoryColour::Red);
        return;
    }
    // One step that never replaces what has the new name already.
    if (!isSingleName(name) || !renameWithoutReplacing(folder + old, folder + name)) {
        appendHistory(getText("FRMPULOC_RENFAILED"), HistoryColour::Red);
        return;
    }
    appendHistory(getText("FRMPULOC_RENOK"), HistoryColour::Green);
    // A renamed folder changes the tree and leaves its old name in the path box.
    if (entry.isFolderLike()) {
        m_pane.rebuildTree(folder, listing == Listing::ContextMenu ? CompareMode::Code : CompareMode::Text);
        m_pane.removeMissingPathBoxEntries();
    }
    list(folder, listing);
}

void LocalCommands::deleteSelection()
{
    const QString folder = rowFolder();
    const QList<FileEntry> selected = m_pane.selectedEntries();
    if (selected.isEmpty())
        return;
    QStringList paths;
    for (const FileEntry& entry : selected)
        paths.append(folder + entry.name);

    QString question;
    if (paths.size() >= 2) {
        appendHistory(QStringLiteral("Aktion: Beginne mit löschen"));
        question = getText("MSDEL_FILEDEL1") + QLatin1Char(' ') + QString::number(paths.size()) + QLatin1Char(' ')
                   + getText("MSDEL_FILEDEL2");
    } else {
        const QString& path = paths.first();
        appendHistory(getText("MSDEL_DELETE") + QLatin1Char(' ') + path);
        // A folder is asked about as a folder with its contents; a link is removed as a link.
        question = selected.first().kind == EntryKind::Folder
                       ? getText("MSDEL_FOLDDEL1") + QLatin1Char(' ') + path + QLatin1Char(' ') + getText("MSDEL_FOLDDEL2")
                       : getText("MSDEL_DELETEIT1") + QLatin1Char(' ') + path + QLatin1Char(' ') + getText("MSDEL_DELETEIT2");
    }
    if (showMessage(m_window, question, PromptIcon::None, PromptButtons::YesNo) != PromptAnswer::Yes) {
        appendHistory(getText("MSDEL_DELCANCEL"), HistoryColour::Red);
        return;
    }
    // Busy, not blocking: the window stays usable while a large tree goes.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_worker.start([paths](LocalWorker::Context& context) { deleteLocalEntries(paths, context); },
                   [this] {
                       QApplication::restoreOverrideCursor();
                       finishDelete();
                   });
}

void LocalCommands::finishDelete()
{
    // The tree and the list stay where they are; the user may have moved on meanwhile.
    m_pane.rebuildTree(m_pane.currentFolderPath(), CompareMode::Code);
    m_pane.viewFolder(rowFolder(), CompareMode::Code, AttributeOrder::AfterDelete);
    m_pane.removeMissingPathBoxEntries();
    Q_EMIT deleteFinished();
}

void LocalCommands::upload()
{
    m_uploads->upload(UploadVariant::Main);
}

void LocalCommands::uploadFromMenu()
{
    m_uploads->upload(UploadVariant::ContextMenu);
}

void LocalCommands::uploadAs()
{
    m_uploads->uploadAs();
}
