#include "RemoteFileJobs.h"

#include "ConnectionJobs.h"
#include "DownloadPaths.h"
#include "JobContext.h"
#include "RemoteOperations.h"
#include "TempFolder.h"
#include "TextCatalogue.h"

#include <QFile>

namespace RemoteFileJobs {

namespace {

// The folder the pane shows; the jobs work nowhere else.
bool enterFolder(RemoteOperations& session, const QString& folder)
{
    return folder.isEmpty() || session.setDir(folder);
}

} // namespace

bool holdsLineBreak(const QString& name)
{
    return name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n'));
}

RemoteFileState fileState(RemoteOperations& session, const QString& folder, const QString& name)
{
    const auto stateOf = [](const RemoteEntry& entry) {
        return RemoteFileState{true, true, entry.size, entry.lastWrite};
    };
    if (session.offersEntryFacts()) {
        const std::optional<RemoteEntry> facts = session.entryFacts(DownloadPaths::withTrailingSlash(folder) + name);
        if (facts && !facts->isDirectory)
            return stateOf(*facts);
    }
    // Refused facts may mean a file that is gone: the listing tells.
    const std::optional<QList<RemoteEntry>> entries =
        session.setDir(folder) ? session.list() : std::optional<QList<RemoteEntry>>();
    if (!entries)
        return {};
    for (const RemoteEntry& entry : *entries) {
        if (entry.name == name && !entry.isDirectory)
            return stateOf(entry);
    }
    return {true, false, 0, {}};
}

OpenDownload downloadForOpening(JobContext& context, const OpenRequest& request, const char* startKey,
                                const char* okKey, const char* failedKey)
{
    // A folder, "..", or a name that is no plain file name has nothing to fetch into the folder.
    const bool fetchable = !request.folderRow && DownloadPaths::isUsableLocalName(request.name);
    QString local;
    if (fetchable) {
        local = TempFolder::makeTempFileIn(request.subfolder, request.name);
        if (local.isEmpty())
            return {};
    }
    context.appendHistory(getText(startKey) + QLatin1Char(' ') + request.name);
    bool fetched = false;
    RemoteFileState state;
    if (fetchable) {
        // The placeholder goes first: a failed transfer leaves nothing behind.
        QFile::remove(local);
        RemoteOperations& session = context.session();
        // Read before the transfer: a change made while it runs then shows later as a change.
        if (request.watchState)
            state = fileState(session, request.folder, request.name);
        fetched = enterFolder(session, request.folder) && session.get(local, request.name);
    }
    if (!fetched) {
        context.appendHistory(getText(failedKey), HistoryColour::Red);
        return {};
    }
    context.appendHistory(getText(okKey), HistoryColour::Green);
    return {local, state};
}

bool createFolder(JobContext& context, const QString& folder, const RemoteCommandKeys& keys,
                  const ConnectionSettings* reconnectWith)
{
    RemoteOperations& session = context.session();
    if (reconnectWith)
        ConnectionJobs::reconnectTo(context, *reconnectWith, folder);
    const InputAnswer answer = context.askText({getText(keys.folderName), {}, InputPosition::NearScreenCentre, {}});
    if (!answer.accepted || answer.text.isEmpty())
        return false;
    context.appendHistory(getText(keys.newFolder1) + QLatin1Char(' ') + answer.text + QLatin1Char(' ')
                          + getText(keys.newFolder2));
    const bool created =
        !holdsLineBreak(answer.text) && enterFolder(session, folder) && session.createDir(answer.text);
    context.appendHistory(getText(created ? keys.folderOk : keys.folderFailed),
                          created ? HistoryColour::Green : HistoryColour::Red);
    return created;
}

bool renameEntry(JobContext& context, const QString& folder, const QString& oldName)
{
    RemoteOperations& session = context.session();
    context.appendHistory(getText("FRMPUSERVER_RENAMEOF") + QLatin1Char(' ') + oldName);
    // ".." and names that are no plain names of this folder would rename something elsewhere.
    bool renamed = false;
    if (DownloadPaths::isUsableLocalName(oldName)) {
        const InputAnswer answer = context.askText({getText("FRMPUSERVER_NEWNAME") + QLatin1Char(' ') + oldName
                                                        + QStringLiteral(" ?"),
                                                    oldName, InputPosition::NearScreenCentre, {}});
        if (!answer.accepted || answer.text.isEmpty()) {
            context.appendHistory(getText("FRMPUSERVER_RENAMECANCEL"), HistoryColour::Red);
            return false;
        }
        renamed = !holdsLineBreak(answer.text) && enterFolder(session, folder)
                  && session.rename(oldName, answer.text);
    }
    context.appendHistory(getText(renamed ? "FRMPUSERVER_RENAMEOK" : "FRMPUSERVER_RENAMEFAILED"),
                          renamed ? HistoryColour::Green : HistoryColour::Red);
    return renamed;
}

bool downloadAs(JobContext& context, const QString& folder, const QString& remoteName, const QString& targetFolder,
                const QString& newName)
{
    RemoteOperations& session = context.session();
    const QString localPath = targetFolder + newName;
    context.appendHistory(QStringLiteral("Aktion: Starte Download von ") + remoteName + QStringLiteral(" als ")
                          + localPath);
    // The dialog lets only plain names through; the job does not rely on it.
    const bool fetched = DownloadPaths::isUsableLocalName(newName) && enterFolder(session, folder)
                         && session.get(localPath, remoteName);
    if (fetched)
        context.appendHistory(QStringLiteral("Status: Dowload erfolgreich"), HistoryColour::Green);
    else
        context.appendHistory(QStringLiteral("Status: Dowload fehlgeschlagen"), HistoryColour::Red);
    return fetched;
}

} // namespace RemoteFileJobs
