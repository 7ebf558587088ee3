#include "SyncBrowsing.h"

#include "LocalFolderReader.h"
#include "LocalPane.h"
#include "PairedFolders.h"
#include "RemotePane.h"
#include "TextCatalogue.h"

#include <QFileInfo>

namespace {

// Folders compare without their trailing "/" (the local pane writes one, the server mostly not).
QString plain(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

} // namespace

SyncBrowsing::SyncBrowsing(LocalPane& local, RemotePane& remote, AppendHistory appendHistory, QObject* parent)
    : QObject(parent)
    , m_local(local)
    , m_remote(remote)
    , m_appendHistory(std::move(appendHistory))
{
    connect(&m_local, &LocalPane::folderListed, this, &SyncBrowsing::localListed);
    connect(&m_remote, &RemotePane::listingFinished, this, &SyncBrowsing::remoteListed);
}

void SyncBrowsing::setOn(bool on)
{
    if (on == m_on)
        return;
    if (!on) {
        m_on = false;
        m_appendHistory(getText("SYNC_OFF"), HistoryColour::Blue);
        return;
    }
    if (m_remote.folder().isEmpty() || m_local.listedFolder().isEmpty()) {
        m_appendHistory(getText("SYNC_NOFOLDER"), HistoryColour::Red);
        Q_EMIT switchedOff();
        return;
    }
    m_on = true;
    m_pairLocal = m_localShown = plain(m_local.listedFolder());
    m_pairRemote = m_remoteShown = plain(m_remote.folder());
    m_remoteExpected.clear();
    m_appendHistory(getText("SYNC_ON") + QLatin1Char(' ') + m_pairLocal + QStringLiteral(" <-> ") + m_pairRemote,
                    HistoryColour::Blue);
}

void SyncBrowsing::stop(const char* reasonKey, const QString& folder)
{
    m_on = false;
    m_appendHistory(getText(reasonKey) + QLatin1Char(' ') + folder, HistoryColour::Red);
    Q_EMIT switchedOff();
}

void SyncBrowsing::localListed(const QString& listed)
{
    const QString folder = plain(listed);
    if (!m_on || folder == m_localShown)
        return;
    m_localShown = folder;
    const std::optional<QString> target = pairedFolder(m_pairLocal, m_pairRemote, folder);
    if (!target) {
        stop("SYNC_ABOVEROOT", m_pairRemote);
        return;
    }
    if (*target == m_remoteShown && m_remoteExpected.isEmpty())
        return;
    // Whether the server has it shows when the listing ends.
    m_remoteExpected = *target;
    m_remote.changeFolder(*target);
}

void SyncBrowsing::remoteListed()
{
    if (!m_on)
        return;
    const QString folder = plain(m_remote.folder());
    if (!m_remoteExpected.isEmpty()) {
        if (folder == m_remoteExpected) {
            m_remoteExpected.clear();
            m_remoteShown = folder;
        } else if (!m_remote.isBusy()) {
            // The server stayed where it was: it has no such folder.
            stop("SYNC_SERVERMISSING", m_remoteExpected);
        }
        return;
    }
    if (folder == m_remoteShown)
        return;
    m_remoteShown = folder;
    const std::optional<QString> target = pairedFolder(m_pairRemote, m_pairLocal, folder);
    if (!target) {
        stop("SYNC_ABOVEROOT", m_pairLocal);
        return;
    }
    const QString localFolder = withTrailingSlash(*target);
    if (!QFileInfo(localFolder).isDir()) {
        stop("SYNC_LOCALMISSING", *target);
        return;
    }
    m_localShown = *target;
    m_local.choosePath(localFolder);
    // A folder off the drive whose tree is shown is listed without its node.
    if (m_local.listedFolder() != localFolder)
        m_local.viewFolder(localFolder);
}
