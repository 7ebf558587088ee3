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

OpenDownload downloadForOpening(JobContext& context, const QString& folder, const QString& name, bool folderRow,
                                const char* startKey, const char* okKey, const char* failedKey)
{
    // A folder, "..", or a name that is no plain file name has nothing to fetch into the folder.
    const bool fetchable = !folderRow && DownloadPaths::isUsableLocalName(name);
    QString local;
    if (fetchable) {
        local = TempFolder::makeTempFile(name);
        if (local.isEmpty())
            return {};
    }
    context.appendHistory(getText(startKey) + QLatin1Char(' ') + name);
    bool fetched = false;
    if (fetchable) {
        // The placeholder goes first: a failed transfer leaves nothing behind.
        QFile::remove(local);
        RemoteOperations& session = context.session();
        fetched = enterFolder(session, folder) && session.get(local, name);
    }
    if (!fetched) {
        context.appendHistory(getText(failedKey), HistoryColour::Red);
        return {};
    }
    context.appendHistory(getText(okKey), HistoryColour::Green);
    return {local};
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
