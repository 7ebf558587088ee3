#include "DownloadJob.h"

#include "ConnectionJobs.h"
#include "DownloadPaths.h"
#include "JobContext.h"
#include "RetryingDownload.h"
#include "TextCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

using DownloadPaths::areUsableLocalNames;
using DownloadPaths::isUsableLocalName;
using DownloadPaths::splitFolderNames;

namespace {

const QString root = QStringLiteral("/");

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
    // Without an absolute folder there is nothing to anchor the items' paths to.
    if (m_request.remoteFolder.startsWith(QLatin1Char('/')))
        m_startFolderPath = DownloadPaths::withTrailingSlash(m_request.remoteFolder);
}

DownloadResult DownloadJob::downloadSelection()
{
    // Without a connection nothing is transferred or written; the GUI still shows the target.
    if (!m_session.isConnected())
        return m_result;
    collectSelection();
    if (m_items.isEmpty())
        return m_result;

    // The folder the user sees, never the one the server happens to stand in.
    m_inStartFolder = !m_startFolderPath.isEmpty() && withConnection([this] { return changeToFolder(m_startFolderPath); });
    const qsizetype selected = m_items.size();
    for (qsizetype i = 0; m_inStartFolder && i < selected && !m_gaveUp && !cancelled(); ++i) {
        if (m_items.at(i).isFolder() && m_items.at(i).refusal == DownloadItem::Refusal::None)
            walkRemoteFolder(i, 1);
    }
    if (cancelled())
        return m_result;
    const QList<qsizetype> order = downloadOrder();
    if (m_gaveUp) {
        reportLeftUndone(order);
        return m_result;
    }

    for (const DownloadItem& item : std::as_const(m_items)) {
        if (!item.isFolder())
            ++m_filesToDo;
    }
    m_context.progress(0, m_filesToDo);
    for (qsizetype at = 0; at < order.size(); ++at) {
        if (cancelled())
            return m_result;
        const DownloadItem& item = m_items.at(order.at(at));
        if (item.isInStartFolder())
            downloadStartFolderFile(item);
        else
            downloadFolderItem(item);
        if (m_gaveUp) {
            reportLeftUndone(order.mid(at + 1));
            return m_result;
        }
    }
    // The server ends where the download started.
    if (m_inStartFolder)
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

bool DownloadJob::reconnectForRetry(const QString& folderPath)
{
    m_session.closeConnection();
    m_serverFolder.clear();
    if (!m_session.openConnection(m_request.settings) || !m_session.setDir(root))
        return false;
    m_serverFolder = root;
    return changeToFolder(folderPath);
}

void DownloadJob::downloadStartFolderFile(const DownloadItem& item)
{
    const QString announced = startLine(item.name);
    if (item.refusal != DownloadItem::Refusal::None || !m_inStartFolder)
        reportFailure(item, announced);
    else
        fetch(announced, m_startFolderPath, m_request.targetFolder + item.name, item);
}

void DownloadJob::downloadFolderItem(const DownloadItem& item)
{
    const QString announced = startLine(item.remoteFolder + item.name);
    const QStringList names = splitFolderNames(item.remoteFolder);
    // The server's folder is part of every local path, so it is checked like the names.
    if (item.refusal != DownloadItem::Refusal::None || !m_inStartFolder || !areUsableLocalNames(names)) {
        reportFailure(item, announced);
        return;
    }
    const bool folderReady = createLocalFolders(names);
    if (item.isFolder()) {
        if (item.unlisted)
            reportFailure(item, announced);
        return;
    }
    if (!folderReady) {
        reportFailure(item, announced);
        return;
    }
    // Files of one folder follow each other: the server stays in their folder from one to the next.
    fetch(announced, item.remoteFolder,
          m_request.targetFolder + names.join(QLatin1Char('/')) + QLatin1Char('/') + item.name, item);
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

bool DownloadJob::fetch(const QString& announced, const QString& folderPath, const QString& localPath,
                        const DownloadItem& item)
{
    m_context.appendHistory(announced);
    // Large files show their bytes in the status line. Asking the server the size costs a round
    // trip, which only files of some size can afford.
    constexpr qint64 shownSize = 1024 * 1024;
    RemoteOperations::Progress progress;
    if (item.size >= shownSize) {
        const QString shown = folderPath + item.name;
        progress = [this, shown, listed = item.size](qint64 done, qint64 total) {
            m_context.transferProgress(shown, done, total > 0 ? total : listed);
        };
    }
    // Two items never end in one local file (a name listed twice, names that differ only in case
    // on a file system that ignores case): the first one stays.
    bool fetched = false;
    if (!isWrittenByThisJob(localPath) && withConnection([&] { return changeToFolder(folderPath); })) {
        RetryingDownload::Record record;
        RetryingDownload download(m_context, m_request.retry, [this, folderPath] { return reconnectForRetry(folderPath); });
        // A size not known (below 0) may be large.
        const bool large = item.size >= RetryingDownload::resumableSize || item.size < 0;
        const auto resume = large ? RetryingDownload::Resume::FromPartial : RetryingDownload::Resume::Never;
        fetched = download.run(item.name, localPath, folderPath + item.name, record, resume, progress);
    }
    if (fetched) {
        rememberWritten(localPath);
        ++m_result.filesFetched;
        m_context.appendHistory(getText("MDOWN_DOWNOK"), HistoryColour::Green);
    } else if (cancelled()) {
        // The stop has its own line; the file was not replaced.
        ++m_result.filesFailed;
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

void DownloadJob::reportLeftUndone(const QList<qsizetype>& left)
{
    if (left.isEmpty())
        return;
    for (const qsizetype index : left) {
        if (m_items.at(index).isFolder())
            ++m_result.foldersFailed;
        else
            ++m_result.filesFailed;
    }
    m_context.appendHistory(getText("MDOWN_NOTDONE") + QLatin1Char(' ') + QString::number(left.size()),
                            HistoryColour::Red);
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

bool DownloadJob::isWrittenByThisJob(const QString& localPath) const
{
    struct stat status {};
    return ::lstat(QFile::encodeName(localPath).constData(), &status) == 0
        && m_written.count({static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)}) > 0;
}

void DownloadJob::rememberWritten(const QString& localPath)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(localPath).constData(), &status) == 0)
        m_written.insert({static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)});
}
