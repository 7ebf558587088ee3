#include "RemoteDeleteJob.h"

#include "ConnectionJobs.h"
#include "DownloadPaths.h"
#include "JobContext.h"
#include "RemoteFolderJobs.h"
#include "TextCatalogue.h"

#include <algorithm>

using DownloadPaths::isUsableLocalName;

namespace {

const QString root = QStringLiteral("/");

// The folder names along a server path; empty components carry none.
QStringList folderNames(const QString& path)
{
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QString pathOf(const QStringList& names)
{
    return root + names.join(QLatin1Char('/'));
}

} // namespace

RemoteDeleteJob::RemoteDeleteJob(JobContext& context, RemoteDeleteRequest request)
    : m_context(context)
    , m_session(context.session())
    , m_request(std::move(request))
{
}

RemoteDeleteResult RemoteDeleteJob::deleteSelection()
{
    m_start = m_request.startFolder.isEmpty() ? m_session.currentDir() : m_request.startFolder;
    collectSelection();
    if (m_session.isConnected()) {
        const qsizetype selected = m_items.size();
        for (qsizetype i = 0; i < selected && !cancelled(); ++i) {
            if (m_items.at(i).isFolder && !m_items.at(i).refused)
                walkDeleteFolder(i, 1);
        }
        QList<qsizetype> folders;
        deleteFiles(folders);
        removeFolders(folders);
    }
    if (cancelled())
        return m_result;
    // Back to the start folder on a live connection, then the path box loses what is gone.
    if (!m_connectionGone && reconnect() && !m_start.isEmpty())
        m_session.setDir(m_start);
    m_result.gonePaths = RemoteFolderJobs::unreachablePaths(m_session, m_request.pathBoxEntries, m_start);
    return m_result;
}

void RemoteDeleteJob::collectSelection()
{
    // Without an absolute start folder there is nothing to find the rows by: they are refused
    // rather than looked for in "/".
    if (m_start.startsWith(QLatin1Char('/')))
        m_startPath = m_start.endsWith(QLatin1Char('/')) ? m_start : m_start + QLatin1Char('/');
    for (const DeleteRow& row : std::as_const(m_request.rows)) {
        // The ".." row is never deleted, and with it every name holding "..", "a..b" as well.
        if (row.name.contains(QStringLiteral("..")))
            continue;
        Item item;
        if (row.isFolder && !row.isLink) {
            item.isFolder = true;
            item.folder = m_startPath + row.name;
        } else {
            item.name = row.name;
            item.folder = m_startPath;
            item.isLink = row.isLink;
            item.linkToFolder = row.isLink && row.isFolder;
        }
        item.refused = m_startPath.isEmpty() || !isUsableLocalName(row.name);
        m_items.append(item);
    }
}

void RemoteDeleteJob::walkDeleteFolder(qsizetype folderIndex, int depth)
{
    QString folderPath = m_items.at(folderIndex).folder;
    if (!folderPath.endsWith(QLatin1Char('/')))
        folderPath += QLatin1Char('/');
    const QStringList names = folderNames(folderPath);
    // Every listing starts on a fresh (or checked) connection, reached from the root.
    std::optional<QList<RemoteEntry>> entries;
    if (!m_walkStopped && reconnect() && isConfirmedFolder(names) && reachFolder(names))
        entries = m_session.list();
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

    QList<qsizetype> subfolders;
    for (const RemoteEntry& entry : std::as_const(*entries)) {
        if (entry.name == QLatin1String(".") || entry.name == QLatin1String(".."))
            continue;
        Item item;
        item.refused = !isUsableLocalName(entry.name);
        if (entry.isLink)
            m_links.insert(pathOf(names) + QLatin1Char('/') + entry.name);
        if (entry.isDirectory && !entry.isLink && !item.refused) {
            item.isFolder = true;
            item.folder = folderPath + entry.name + QLatin1Char('/');
            if (depth >= maxWalkDepth)
                item.refused = true;
            else
                subfolders.append(m_items.size());
        } else {
            item.name = entry.name;
            item.folder = folderPath;
            item.isLink = entry.isLink;
            item.linkToFolder = entry.isLink && entry.isDirectory;
        }
        m_items.append(item);
    }
    for (const qsizetype index : std::as_const(subfolders)) {
        if (cancelled())
            return;
        walkDeleteFolder(index, depth + 1);
    }
}

bool RemoteDeleteJob::isConfirmedFolder(const QStringList& names)
{
    const QString path = pathOf(names);
    if (m_links.contains(path))
        return false;
    // Without MLST, reachFolder() compares where the server stands once it is inside.
    if (!m_session.offersEntryFacts())
        return true;
    // Servers name the entry by the path asked, or by a longer one that ends in it.
    const std::optional<RemoteEntry> facts = m_session.entryFacts(path);
    const QStringList answered = facts ? folderNames(facts->name) : QStringList();
    return facts && facts->isDirectory && !facts->isLink && answered.size() >= names.size()
           && answered.sliced(answered.size() - names.size()) == names;
}

void RemoteDeleteJob::deleteFiles(QList<qsizetype>& folders)
{
    const qsizetype total = m_items.size();
    for (qsizetype i = 0; i < total && !cancelled(); ++i) {
        m_context.progress(i, total);
        const Item& item = m_items.at(i);
        if (item.isFolder) {
            folders.append(i);
            continue;
        }
        m_context.appendHistory(getText("MDEL_DELFILE") + QLatin1Char(' ') + item.folder + item.name);
        const bool deleted =
            !item.refused && !m_connectionGone && reachFolder(folderNames(item.folder)) && deleteEntry(item);
        report(deleted);
    }
}

bool RemoteDeleteJob::deleteEntry(const Item& item)
{
    if (m_session.remove(item.name))
        return true;
    // A link goes as a link: RMD only where the server said it was a folder, never into it.
    if (item.linkToFolder && m_session.removeDir(item.name))
        return true;
    // The connection may have changed meanwhile: go the whole way next time.
    m_currentKnown = false;
    return false;
}

void RemoteDeleteJob::removeFolders(QList<qsizetype> folders)
{
    // Longer paths first, so a folder goes before the folders that hold it; equal lengths keep
    // their order.
    std::stable_sort(folders.begin(), folders.end(), [this](qsizetype a, qsizetype b) {
        return m_items.at(a).folder.size() > m_items.at(b).folder.size();
    });
    for (const qsizetype index : std::as_const(folders)) {
        if (cancelled())
            return;
        const Item& item = m_items.at(index);
        m_context.appendHistory(getText("MDEL_DELFILE") + QLatin1Char(' ') + item.folder);
        QStringList parent = folderNames(item.folder);
        const QString name = parent.isEmpty() ? QString() : parent.takeLast();
        const bool removed = !item.refused && !item.unlisted && !name.isEmpty() && !m_connectionGone
                             && reachFolder(parent) && m_session.removeDir(name);
        report(removed);
        if (reconnect() && !m_start.isEmpty())
            m_session.setDir(m_start);
        m_currentKnown = false;
    }
}

bool RemoteDeleteJob::reachFolder(const QStringList& names)
{
    // Files of one folder follow each other: the server stays there until an item needs another.
    if (m_currentKnown && m_current == names)
        return true;
    m_currentKnown = false;
    if (!m_session.setDir(root))
        return false;
    for (const QString& name : names) {
        if (!m_session.setDir(name))
            return false;
    }
    // The server must stand where the names lead: a link that the listing showed as a folder
    // leads elsewhere on servers that report real paths, and must not be mistaken for it.
    if (pathOf(folderNames(m_session.currentDir())) != pathOf(names))
        return false;
    m_current = names;
    m_currentKnown = true;
    return true;
}

bool RemoteDeleteJob::reconnect()
{
    m_currentKnown = false;
    if (m_connectionGone)
        return false;
    // One message about a connection that cannot be made again is enough.
    m_connectionGone = !ConnectionJobs::reconnect(m_context, m_request.settings);
    return !m_connectionGone;
}

void RemoteDeleteJob::report(bool done)
{
    if (done) {
        ++m_result.deleted;
        m_context.appendHistory(getText("MDEL_DELOK"), HistoryColour::Green);
    } else {
        ++m_result.failed;
        m_context.appendHistory(getText("MDEL_DELFAILED"), HistoryColour::Red);
    }
}

bool RemoteDeleteJob::cancelled() const
{
    return m_context.isCancelled();
}
