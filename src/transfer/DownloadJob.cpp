#include "DownloadJob.h"

#include "ConnectionJobs.h"
#include "DownloadPaths.h"
#include "JobContext.h"
#include "TextCatalogue.h"

using DownloadPaths::areUsableLocalNames;
using DownloadPaths::isUsableLocalName;
using DownloadPaths::splitFolderNames;

namespace {

const QString root = QStringLiteral("/");

TransferRefusal refusalOf(const DownloadItem& item)
{
    switch (item.refusal) {
    case DownloadItem::Refusal::UnusableName:
        return TransferRefusal::UnusableName;
    case DownloadItem::Refusal::Link:
        return TransferRefusal::FolderLink;
    case DownloadItem::Refusal::TooDeep:
        return TransferRefusal::TooDeep;
    case DownloadItem::Refusal::None:
        break;
    }
    return item.unlisted ? TransferRefusal::Unlisted : TransferRefusal::None;
}

} // namespace

DownloadJob::DownloadJob(JobContext& context, DownloadRequest request)
    : m_context(context)
    , m_session(context.session())
    , m_request(std::move(request))
{
    m_request.targetFolder = DownloadPaths::withTrailingSlash(m_request.targetFolder);
    m_result.targetFolder = m_request.targetFolder;
    // Without an absolute folder there is nothing to anchor the items' paths to.
    if (m_request.remoteFolder.startsWith(QLatin1Char('/')))
        m_startFolderPath = DownloadPaths::withTrailingSlash(m_request.remoteFolder);
    m_server = m_request.settings;
    m_server.password.clear();
}

DownloadResult DownloadJob::downloadSelection()
{
    // Without a connection nothing is transferred or written; the GUI still shows the target.
    if (!m_session.isConnected())
        return m_result;
    collectSelection();
    if (m_items.isEmpty())
        return m_result;
    // The workers keep the encryption this connection has: they never fall back to plain text.
    if (m_session.connectFacts().tls == TlsOutcome::Encrypted)
        m_server.ftp.encryption = FtpSettings::Encryption::Required;

    // The folder the user sees, never the one the server happens to stand in.
    const bool inStartFolder = !m_startFolderPath.isEmpty() && withConnection([this] { return changeToFolder(m_startFolderPath); });
    if (!inStartFolder) {
        if (!m_gaveUp && !cancelled()) {
            for (const qsizetype index : downloadOrder())
                reportFailure(m_items.at(index));
        }
        return m_result;
    }
    const qsizetype selected = m_items.size();
    for (qsizetype i = 0; i < selected && !m_gaveUp && !cancelled(); ++i) {
        if (m_items.at(i).isFolder() && m_items.at(i).refusal == DownloadItem::Refusal::None)
            walkRemoteFolder(i, 1);
    }
    if (cancelled())
        return m_result;
    if (m_gaveUp) {
        reportLeftUndone(m_items.size());
        return m_result;
    }
    for (const qsizetype index : downloadOrder())
        m_result.items.append(queueItem(m_items.at(index)));
    // The server ends where the download started.
    withConnection([this] { return changeToFolder(m_startFolderPath); });
    return m_result;
}

void DownloadJob::collectSelection()
{
    for (const SelectedRow& row : std::as_const(m_request.rows)) {
        if (row.name == QStringLiteral(".."))
            continue;
        DownloadItem item;
        if (row.isFolder) {
            item.remoteFolder = m_startFolderPath + row.name + QLatin1Char('/');
        } else {
            item.name = row.name;
            item.remoteFolder = DownloadItem::startFolderMarker;
            item.size = row.size;
        }
        if (!isUsableLocalName(row.name))
            item.refusal = DownloadItem::Refusal::UnusableName;
        m_items.append(item);
    }
}

void DownloadJob::walkRemoteFolder(qsizetype folderIndex, int depth)
{
    const QString folderPath = m_items.at(folderIndex).remoteFolder;
    std::optional<QList<RemoteEntry>> entries;
    if (!m_walkStopped) {
        withConnection([&] {
            entries = changeToFolder(folderPath) ? m_session.list() : std::nullopt;
            return entries.has_value();
        });
    }
    if (entries && m_items.size() + entries->size() > m_request.maxWalkEntries) {
        m_walkStopped = true;
        entries.reset();
        const QString limit = QString::number(m_request.maxWalkEntries);
        m_context.appendHistory(getText("MPUB_WALKLIMIT") + QLatin1Char(' ') + limit, HistoryColour::Red);
    }
    if (!entries) {
        m_items[folderIndex].unlisted = true;
        return;
    }
    // What a line no parser could read names is not fetched: the user hears of it here.
    if (const qsizetype unreadable = m_session.unreadableLines(); unreadable > 0)
        m_context.appendHistory(getText("FRMSERVER_UNREADABLE") + QLatin1Char(' ') + QString::number(unreadable)
                                    + QStringLiteral(" (") + folderPath + QLatin1Char(')'),
                                HistoryColour::Red);

    QList<qsizetype> subfolders;
    for (const RemoteEntry& entry : *entries) {
        DownloadItem item;
        item.size = entry.size;
        if (!entry.isDirectory) {
            item.name = entry.name;
            item.remoteFolder = folderPath;
            if (!isUsableLocalName(entry.name))
                item.refusal = DownloadItem::Refusal::UnusableName;
        } else {
            if (entry.name == QStringLiteral(".") || entry.name == QStringLiteral(".."))
                continue;
            item.remoteFolder = folderPath + entry.name + QLatin1Char('/');
            if (!isUsableLocalName(entry.name))
                item.refusal = DownloadItem::Refusal::UnusableName;
            else if (entry.isLink)
                item.refusal = DownloadItem::Refusal::Link;
            else if (depth >= maxWalkDepth)
                item.refusal = DownloadItem::Refusal::TooDeep;
            else
                subfolders.append(m_items.size());
        }
        m_items.append(item);
    }
    for (const qsizetype index : std::as_const(subfolders)) {
        if (cancelled() || m_gaveUp)
            return;
        walkRemoteFolder(index, depth + 1);
    }
}

QList<qsizetype> DownloadJob::downloadOrder() const
{
    QList<qsizetype> order;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).isInStartFolder())
            order.append(i);
    }
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (!m_items.at(i).isInStartFolder())
            order.append(i);
    }
    return order;
}

TransferItem DownloadJob::queueItem(const DownloadItem& item) const
{
    TransferItem queued;
    queued.direction = TransferDirection::Download;
    queued.texts = TransferTexts::Download;
    queued.server = m_server;
    queued.isFolder = item.isFolder();
    queued.size = item.isFolder() ? -1 : item.size;
    queued.refusal = refusalOf(item);
    if (item.isInStartFolder()) {
        queued.remotePath = m_startFolderPath + item.name;
        queued.localPath = m_request.targetFolder + item.name;
        queued.shownName = item.name;
    } else {
        // The server's folder is part of every local path, so it is checked like the names.
        const QStringList names = splitFolderNames(item.remoteFolder);
        if (!areUsableLocalNames(names))
            queued.refusal = TransferRefusal::UnusableName;
        const QString localFolder = m_request.targetFolder + names.join(QLatin1Char('/'));
        queued.remotePath = item.remoteFolder + item.name;
        queued.localPath = item.isFolder() ? localFolder : localFolder + QLatin1Char('/') + item.name;
        queued.shownName = item.remoteFolder + item.name;
    }
    // A name that is no local name never becomes a path.
    if (queued.refusal == TransferRefusal::UnusableName)
        queued.localPath.clear();
    return queued;
}

bool DownloadJob::changeToFolder(const QString& folderPath)
{
    if (m_serverFolder == folderPath)
        return true;
    const QString from = m_serverFolder;
    m_serverFolder.clear(); // not known while the way is gone, nor when it fails halfway
    bool arrived = false;
    const QStringView below = QStringView(folderPath).mid(from.size());
    if (folderPath == m_startFolderPath) {
        // The folder as the server named it: one absolute step.
        arrived = m_session.setDir(m_request.remoteFolder);
    } else if (!from.isEmpty() && folderPath.startsWith(from) && below.indexOf(QLatin1Char('/')) == below.size() - 1) {
        // One level down, as the walk goes.
        arrived = m_session.setDir(below.chopped(1).toString());
    } else {
        arrived = m_session.setDir(root);
        const QStringList names = splitFolderNames(folderPath);
        for (qsizetype i = 0; arrived && i < names.size(); ++i)
            arrived = m_session.setDir(names.at(i));
    }
    if (arrived)
        m_serverFolder = folderPath;
    return arrived;
}

bool DownloadJob::withConnection(const std::function<bool()>& step)
{
    if (m_gaveUp || (!m_session.isConnected() && !restoreConnection()))
        return false;
    if (step())
        return true;
    if (m_session.isConnected() || cancelled() || !restoreConnection())
        return false;
    return step();
}

bool DownloadJob::restoreConnection()
{
    // A new connection stands in "/"; the next step finds its way from there.
    m_serverFolder.clear();
    if (ConnectionJobs::reconnect(m_context, m_request.settings)) {
        m_serverFolder = root;
        return true;
    }
    m_gaveUp = !cancelled();
    return false;
}

void DownloadJob::reportFailure(const DownloadItem& item)
{
    const QString what = item.isInStartFolder() ? item.name : item.remoteFolder + item.name;
    m_context.appendHistory(getText("MDOWN_DOWNSTART") + QLatin1Char(' ') + what);
    m_context.appendHistory(getText("MDOWN_DOWNFAILED"), HistoryColour::Red);
}

void DownloadJob::reportLeftUndone(qsizetype count)
{
    if (count == 0)
        return;
    m_context.appendHistory(getText("MDOWN_NOTDONE") + QLatin1Char(' ') + QString::number(count), HistoryColour::Red);
}

bool DownloadJob::cancelled() const
{
    return m_context.isCancelled();
}
