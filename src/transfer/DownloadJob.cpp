#include "DownloadJob.h"

#include "ConnectionJobs.h"
#include "DownloadPaths.h"
#include "JobContext.h"
#include "TextCatalogue.h"

#include <QDir>
#include <QFileInfo>

using DownloadPaths::areUsableLocalNames;
using DownloadPaths::isUsableLocalName;
using DownloadPaths::splitFolderNames;

namespace {

constexpr quint32 selectedFolderAttributes = 16;
constexpr quint32 selectedFileAttributes = 128;

QString startLine(const QString& what)
{
    return getText("MDOWN_DOWNSTART") + QLatin1Char(' ') + what;
}

} // namespace

DownloadJob::DownloadJob(JobContext& context, DownloadRequest request)
    : m_context(context)
    , m_session(context.session())
    , m_request(std::move(request))
{
    m_request.targetFolder = DownloadPaths::withTrailingSlash(m_request.targetFolder);
    m_result.targetFolder = m_request.targetFolder;
}

DownloadResult DownloadJob::downloadSelection()
{
    // Without a connection nothing is transferred or written; the GUI still shows the target.
    if (!m_session.isConnected())
        return m_result;
    // The rows belong to the folder the pane shows, wherever a re-connection left the server.
    if (!m_request.remoteFolder.isEmpty() && !m_session.ftpSetDir(m_request.remoteFolder)) {
        m_startFolder.clear();
    } else {
        m_startFolder = m_session.ftpCurrentDir();
    }
    collectSelection();

    const qsizetype selected = m_items.size();
    for (qsizetype i = 0; i < selected && !cancelled(); ++i) {
        if (m_items.at(i).isFolder() && m_items.at(i).refusal == DownloadItem::Refusal::None)
            walkRemoteFolder(i, 1);
    }
    if (m_items.isEmpty() || cancelled())
        return m_result;

    for (const DownloadItem& item : std::as_const(m_items)) {
        if (!item.isFolder())
            ++m_filesToDo;
    }
    m_context.progress(0, m_filesToDo);

    // The walks left the server in the last folder they listed.
    const bool inStartFolder = !m_startFolderPath.isEmpty() && m_session.ftpSetDir(QStringLiteral("/"))
                               && m_session.ftpSetDir(m_startFolder);
    downloadStartFolderFiles(inStartFolder);
    for (const DownloadItem& item : std::as_const(m_items)) {
        if (cancelled())
            break;
        if (!item.isInStartFolder())
            downloadFolderItem(item);
    }
    leaveFolder();
    return m_result;
}

void DownloadJob::collectSelection()
{
    // A server that reports no absolute current folder gives no anchor for folder paths; its files
    // fail the change of folder, its folders are refused rather than looked for elsewhere.
    if (m_startFolder.startsWith(QLatin1Char('/')))
        m_startFolderPath = DownloadPaths::withTrailingSlash(m_startFolder);
    for (const SelectedRow& row : std::as_const(m_request.rows)) {
        if (row.name == QStringLiteral(".."))
            continue;
        DownloadItem item;
        if (row.isFolder) {
            item.remoteFolder = m_startFolderPath + row.name + QLatin1Char('/');
            item.attributes = selectedFolderAttributes;
            if (m_startFolderPath.isEmpty())
                item.refusal = DownloadItem::Refusal::UnusableName;
        } else {
            item.name = row.name;
            item.remoteFolder = DownloadItem::startFolderMarker;
            item.attributes = selectedFileAttributes;
        }
        if (!isUsableLocalName(row.name))
            item.refusal = DownloadItem::Refusal::UnusableName;
        m_items.append(item);
    }
}

void DownloadJob::walkRemoteFolder(qsizetype folderIndex, int depth)
{
    const QString folderPath = m_items.at(folderIndex).remoteFolder;
    // Every listing starts on a fresh connection, reached from the root one level at a time.
    if (!ConnectionJobs::reconnect(m_context, m_request.settings) || !changeToFolder(splitFolderNames(folderPath))) {
        m_items[folderIndex].unlisted = true;
        return;
    }
    const std::optional<QList<RemoteEntry>> entries = m_session.ftpList();
    if (!entries) {
        m_items[folderIndex].unlisted = true;
        return;
    }

    QList<qsizetype> subfolders;
    for (const RemoteEntry& entry : *entries) {
        DownloadItem item;
        item.attributes = entry.attributes;
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
        if (cancelled())
            return;
        walkRemoteFolder(index, depth + 1);
    }
}

bool DownloadJob::changeToFolder(const QStringList& names)
{
    if (!m_session.ftpSetDir(QStringLiteral("/")))
        return false;
    for (const QString& name : names) {
        if (!m_session.ftpSetDir(name))
            return false;
    }
    return true;
}

void DownloadJob::downloadStartFolderFiles(bool inStartFolder)
{
    for (const DownloadItem& item : std::as_const(m_items)) {
        if (cancelled())
            return;
        if (!item.isInStartFolder())
            continue;
        const QString announced = startLine(item.name);
        if (item.refusal != DownloadItem::Refusal::None || !inStartFolder)
            reportFailure(item, announced);
        else
            fetch(announced, m_request.targetFolder + item.name, item.name.trimmed());
    }
}

void DownloadJob::downloadFolderItem(const DownloadItem& item)
{
    const QString announced = startLine(item.remoteFolder + item.name);
    const QStringList names = splitFolderNames(item.remoteFolder);
    // The server's current folder is part of every local path, so it is checked like the names.
    if (item.refusal != DownloadItem::Refusal::None || !areUsableLocalNames(names)) {
        reportFailure(item, announced);
        return;
    }
    const bool folderReady = createLocalFolders(names);
    if (item.isFolder()) {
        if (item.unlisted)
            reportFailure(item, announced);
        return;
    }
    // Files of one folder follow each other: the server stays in their folder until the next
    // item needs another, instead of going back to the start folder and down again for each file.
    bool inFolder = m_serverFolder == item.remoteFolder;
    if (!inFolder && folderReady) {
        leaveFolder();
        m_serverFolder = item.remoteFolder; // away from the start folder, even if the way fails halfway
        inFolder = changeToFolder(names);
    }
    if (!folderReady || !inFolder) {
        reportFailure(item, announced);
        leaveFolder();
        return;
    }
    const bool fetched = fetch(announced,
                               m_request.targetFolder + names.join(QLatin1Char('/')) + QLatin1Char('/') + item.name,
                               item.name.trimmed());
    // After a failed transfer the connection may be a new one or none: go the whole way next time.
    if (!fetched)
        leaveFolder();
}

void DownloadJob::leaveFolder()
{
    if (m_serverFolder.isEmpty())
        return;
    m_serverFolder.clear();
    m_session.ftpSetDir(m_startFolder);
}

bool DownloadJob::createLocalFolders(const QStringList& names)
{
    bool created = false;
    bool failed = false;
    QString relative;
    for (const QString& name : names) {
        relative += relative.isEmpty() ? name : QLatin1Char('/') + name;
        const QString path = m_request.targetFolder + relative;
        // Anything of that name counts as there, as a plain file does; the fetch into it then fails.
        if (QFileInfo::exists(path))
            continue;
        if (!QDir().mkdir(path)) {
            failed = true;
            break;
        }
        created = true;
    }
    if (created || failed) {
        m_context.appendHistory(getText("MDOWN_FOLDNEW") + QLatin1Char(' ') + m_request.targetFolder
                                + names.join(QLatin1Char('/')) + getText("MDOWN_AN"));
        if (failed)
            m_context.appendHistory(getText("FRMPULOC_GENFAIL"), HistoryColour::Red);
        else
            m_context.appendHistory(getText("MDOWN_CREATEOK"), HistoryColour::Green);
    }
    return QFileInfo(m_request.targetFolder + relative).isDir();
}

bool DownloadJob::fetch(const QString& announced, const QString& localPath, const QString& remoteName)
{
    m_context.appendHistory(announced);
    // A name of blanks only leaves nothing to ask the server for.
    const bool fetched = !remoteName.isEmpty() && m_session.ftpGet(localPath, remoteName);
    if (fetched) {
        ++m_result.filesFetched;
        m_context.appendHistory(getText("MDOWN_DOWNOK"), HistoryColour::Green);
    } else {
        ++m_result.filesFailed;
        m_context.appendHistory(getText("MDOWN_DOWNFAILED"), HistoryColour::Red);
    }
    fileHandled();
    return fetched;
}

void DownloadJob::reportFailure(const DownloadItem& item, const QString& announced)
{
    m_context.appendHistory(announced);
    m_context.appendHistory(getText("MDOWN_DOWNFAILED"), HistoryColour::Red);
    if (item.isFolder()) {
        ++m_result.foldersFailed;
        return;
    }
    ++m_result.filesFailed;
    fileHandled();
}

void DownloadJob::fileHandled()
{
    ++m_filesDone;
    m_context.progress(m_filesDone, m_filesToDo);
}

bool DownloadJob::cancelled() const
{
    return m_context.isCancelled();
}
