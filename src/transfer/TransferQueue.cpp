#include "TransferQueue.h"

#include "EntryPresentation.h"
#include "TextCatalogue.h"

#include <algorithm>

namespace {

const char* const parallelSetting = "parallel";
const char* const retriesSetting = "retries";
const char* const retryDelaySetting = "retry_delay";

// The tab an item shows in: waiting and running ones together, failed ones, finished ones.
int tabOf(TransferState state)
{
    return state == TransferState::Running ? static_cast<int>(TransferState::Queued) : static_cast<int>(state);
}

bool isOpen(TransferState state)
{
    return state == TransferState::Queued || state == TransferState::Running;
}

QString withoutTrailingSlash(const QString& path)
{
    return path.size() > 1 && path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path;
}

// The server and path as one text: "ftp://user@host:2121/pub/a.txt" (the port only when it is
// not the protocol's usual one).
QString remoteShown(const TransferItem& item)
{
    const std::optional<quint16> port = parsePort(item.server.port);
    QString server = item.server.user.isEmpty() ? item.server.host : item.server.user + QLatin1Char('@') + item.server.host;
    if (port != defaultPort(item.server.protocol))
        server += QLatin1Char(':') + item.server.port.trimmed();
    const QString scheme = item.server.protocol == Protocol::Sftp ? QStringLiteral("sftp://") : QStringLiteral("ftp://");
    return scheme + server + item.remotePath;
}

} // namespace

namespace {
// How long a change of state may wait before it is written; a crash loses at most this much, and
// then only an item that shows as queued again.
constexpr int flushDelay = 200;
} // namespace

TransferQueue::TransferQueue(QObject* parent)
    : QAbstractTableModel(parent)
{
    m_flush.setSingleShot(true);
    m_flush.setInterval(flushDelay);
    connect(&m_flush, &QTimer::timeout, this, [this] { m_store.flush(); });
}

TransferQueue::~TransferQueue()
{
    m_store.flush();
}

void TransferQueue::storeChanged(const TransferItem& item)
{
    m_store.update(item);
    if (!m_flush.isActive())
        m_flush.start();
}

QueueStore::Opened TransferQueue::open(const QString& path)
{
    const QueueStore::Opened opened = m_store.open(path);
    beginResetModel();
    m_items = m_store.isOpen() ? m_store.load() : QList<TransferItem>();
    m_busyTargets.clear();
    m_openInBatch.clear();
    m_lastBatch = 0;
    for (TransferItem& item : m_items) {
        // Whatever ran when the program ended waits again.
        if (item.state == TransferState::Running) {
            item.state = TransferState::Queued;
            storeChanged(item);
        }
        if (isOpen(item.state))
            ++m_openInBatch[item.batch];
        m_lastBatch = std::max(m_lastBatch, item.batch);
    }
    // The Successful tab lists this session's transfers: the done items of commands that ended
    // are not brought back, or the file would grow with every transfer ever made. Those of a
    // command with items still to come stay, as its folders' items order its files.
    QList<qint64> gone;
    m_items.removeIf([this, &gone](const TransferItem& item) {
        const bool drop = item.state == TransferState::Done && !m_openInBatch.contains(item.batch);
        if (drop)
            gone.append(item.id);
        return drop;
    });
    if (!gone.isEmpty())
        m_store.remove(gone);
    m_parallel = std::clamp(m_store.intSetting(parallelSetting, defaultParallel), minimumParallel, maximumParallel);
    const RetrySettings defaults;
    m_retry = RetrySettings{m_store.intSetting(retriesSetting, defaults.retries),
                            m_store.intSetting(retryDelaySetting, defaults.delaySeconds)}
                  .bounded();
    holdAll();
    rebuildRows();
    endResetModel();
    return opened;
}

const TransferItem* TransferQueue::item(qint64 id) const
{
    const int row = rowOf(id);
    return row >= 0 ? &m_items.at(row) : nullptr;
}

int TransferQueue::rowOf(qint64 id) const
{
    return m_rows.value(id, -1);
}

void TransferQueue::rebuildRows()
{
    m_firstQueued = 0;
    m_rows.clear();
    m_folders.clear();
    for (int row = 0; row < m_items.size(); ++row)
        m_rows.insert(m_items.at(row).id, row);
    indexFolders(0);
}

void TransferQueue::indexFolders(int from)
{
    for (int row = from; row < m_items.size(); ++row) {
        const TransferItem& item = m_items.at(row);
        // The first of two same folders of a command stands for both.
        if (item.isFolder && item.refusal == TransferRefusal::None)
            m_folders.insert(folderKey(item.batch, targetKey(item)), item.id);
    }
}

QString TransferQueue::folderKey(qint64 batch, const QString& path)
{
    return QString::number(batch) + QLatin1Char('\n') + withoutTrailingSlash(path);
}

QString TransferQueue::targetKey(const TransferItem& item)
{
    if (item.isDownload())
        return withoutTrailingSlash(item.localPath);
    return accountKey(item.server) + QLatin1Char('\n') + withoutTrailingSlash(item.remotePath);
}

QList<qint64> TransferQueue::foldersAbove(const TransferItem& item) const
{
    QList<qint64> folders;
    QString path = targetKey(item);
    for (qsizetype cut = path.lastIndexOf(QLatin1Char('/')); cut > 0; cut = path.lastIndexOf(QLatin1Char('/'))) {
        path.truncate(cut);
        if (const auto found = m_folders.constFind(folderKey(item.batch, path)); found != m_folders.cend())
            folders.append(*found);
    }
    return folders;
}

QList<qint64> TransferQueue::add(QList<TransferItem> items)
{
    QList<qint64> ids;
    if (items.isEmpty())
        return ids;
    for (TransferItem& item : items) {
        item.server.password.clear();
        item.state = TransferState::Queued;
        m_lastBatch = std::max(m_lastBatch, item.batch);
    }
    m_store.add(items);
    const int first = static_cast<int>(m_items.size());
    beginInsertRows({}, first, first + static_cast<int>(items.size()) - 1);
    for (const TransferItem& item : std::as_const(items)) {
        m_rows.insert(item.id, static_cast<int>(m_items.size()));
        m_items.append(item);
        ids.append(item.id);
        ++m_openInBatch[item.batch];
    }
    indexFolders(first);
    endInsertRows();
    return ids;
}

void TransferQueue::remove(const QList<qint64>& ids)
{
    QList<int> rows;
    for (const qint64 id : ids) {
        if (const int row = rowOf(id); row >= 0)
            rows.append(row);
    }
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<qint64> removed;
    QSet<qint64> batches;
    // From the bottom up, so that the rows above keep their numbers.
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        const TransferItem& item = m_items.at(*row);
        if (item.state == TransferState::Running)
            m_busyTargets.remove(targetKey(item));
        if (isOpen(item.state) && --m_openInBatch[item.batch] == 0)
            m_openInBatch.remove(item.batch);
        batches.insert(item.batch);
        removed.append(item.id);
        beginRemoveRows({}, *row, *row);
        m_items.removeAt(*row);
        endRemoveRows();
    }
    m_store.remove(removed);
    rebuildRows();
    for (const qint64 batch : std::as_const(batches))
        Q_EMIT batchChanged(batch);
}

void TransferQueue::moveUp(const QList<qint64>& ids)
{
    move(ids, -1);
}

void TransferQueue::moveDown(const QList<qint64>& ids)
{
    move(ids, +1);
}

void TransferQueue::move(const QList<qint64>& ids, int step)
{
    QList<int> rows;
    for (const qint64 id : ids) {
        if (const int row = rowOf(id); row >= 0)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    if (step > 0)
        std::reverse(rows.begin(), rows.end());
    // A selection moves as a block: an item that cannot move holds those behind it in place.
    QSet<int> stuck;
    for (const int row : std::as_const(rows)) {
        const int tab = tabOf(m_items.at(row).state);
        int neighbour = row + step;
        while (neighbour >= 0 && neighbour < m_items.size() && tabOf(m_items.at(neighbour).state) != tab)
            neighbour += step;
        if (neighbour < 0 || neighbour >= m_items.size() || stuck.contains(neighbour)) {
            stuck.insert(row);
            continue;
        }
        // The item takes the neighbour's place; those between (of other tabs) shift by one.
        const int low = std::min(row, neighbour);
        const int high = std::max(row, neighbour);
        QList<qint64> order;
        for (int at = low; at <= high; ++at)
            order.append(m_items.at(at).id);
        m_firstQueued = std::min({m_firstQueued, row, neighbour});
        beginMoveRows({}, row, row, {}, step < 0 ? neighbour : neighbour + 1);
        m_items.move(row, neighbour);
        endMoveRows();
        order.move(row - low, neighbour - low);
        m_store.flush();
        m_store.reorder(order);
        for (int at = low; at <= high; ++at)
            m_rows.insert(m_items.at(at).id, at);
    }
}

int TransferQueue::requeue(const QList<qint64>& ids)
{
    int count = 0;
    for (const qint64 id : ids) {
        const int row = rowOf(id);
        if (row < 0 || m_items.at(row).state != TransferState::Failed)
            continue;
        TransferItem& item = m_items[row];
        item.reason.clear();
        item.bytesDone = 0;
        setState(row, TransferState::Queued);
        ++count;
    }
    return count;
}

int TransferQueue::requeueAllFailed()
{
    QList<qint64> failed;
    for (const TransferItem& item : std::as_const(m_items)) {
        if (item.state == TransferState::Failed)
            failed.append(item.id);
    }
    return requeue(failed);
}

std::optional<TransferQueue::Next> TransferQueue::next(const QSet<QString>& servers) const
{
    for (int row = m_firstQueued; row < m_items.size(); ++row) {
        const TransferItem& item = m_items.at(row);
        if (item.state != TransferState::Queued) {
            if (row == m_firstQueued)
                ++m_firstQueued;
            continue;
        }
        if (item.batch <= m_heldUpTo || !servers.contains(accountKey(item.server)))
            continue;
        if (item.refusal != TransferRefusal::None && item.refusal != TransferRefusal::Unlisted)
            return Next{item.id, Next::Action::Refuse};
        if (m_busyTargets.contains(targetKey(item)))
            continue;
        bool waits = false;
        bool folderFailed = false;
        for (const qint64 folder : foldersAbove(item)) {
            const TransferState state = m_items.at(rowOf(folder)).state;
            waits = waits || isOpen(state);
            folderFailed = folderFailed || state == TransferState::Failed;
        }
        if (waits)
            continue;
        return Next{item.id, folderFailed ? Next::Action::FailInFolder : Next::Action::Run};
    }
    return std::nullopt;
}

void TransferQueue::setRunning(qint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    ++m_items[row].tries;
    setState(row, TransferState::Running);
}

void TransferQueue::setProgress(qint64 id, qint64 bytesDone)
{
    const int row = rowOf(id);
    if (row < 0 || m_items.at(row).bytesDone == bytesDone)
        return;
    m_items[row].bytesDone = bytesDone;
    // Only the progress column changes; the store learns the bytes when the item ends.
    Q_EMIT dataChanged(index(row, ProgressColumn), index(row, ProgressColumn));
}

void TransferQueue::finish(const TransferItem& changed)
{
    const int row = rowOf(changed.id);
    if (row < 0)
        return;
    TransferItem& item = m_items[row];
    item.reason = changed.reason;
    item.bytesDone = changed.bytesDone;
    item.size = changed.size;
    item.partialPath = changed.partialPath;
    item.remoteSizeAtStart = changed.remoteSizeAtStart;
    item.remoteTimeAtStart = changed.remoteTimeAtStart;
    setState(row, changed.state);
}

void TransferQueue::setState(int row, TransferState state)
{
    TransferItem& item = m_items[row];
    const bool wasOpen = isOpen(item.state);
    if (item.state == TransferState::Running)
        m_busyTargets.remove(targetKey(item));
    item.state = state;
    if (state == TransferState::Queued)
        m_firstQueued = std::min(m_firstQueued, row);
    if (state == TransferState::Running)
        m_busyTargets.insert(targetKey(item));
    if (wasOpen != isOpen(state)) {
        if (isOpen(state))
            ++m_openInBatch[item.batch];
        else if (--m_openInBatch[item.batch] == 0)
            m_openInBatch.remove(item.batch);
    }
    storeChanged(item);
    rowChanged(row);
    if (state != TransferState::Running)
        Q_EMIT batchChanged(item.batch);
}

void TransferQueue::rowChanged(int row)
{
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void TransferQueue::setParallel(int count)
{
    m_parallel = std::clamp(count, minimumParallel, maximumParallel);
    m_store.setIntSetting(parallelSetting, m_parallel);
}

void TransferQueue::setRetrySettings(RetrySettings settings)
{
    m_retry = settings.bounded();
    m_store.setIntSetting(retriesSetting, m_retry.load().retries);
    m_store.setIntSetting(retryDelaySetting, m_retry.load().delaySeconds);
}

int TransferQueue::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

int TransferQueue::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

QVariant TransferQueue::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const TransferItem& item = m_items.at(index.row());
    if (role == StateRole)
        return static_cast<int>(item.state);
    if (role == IdRole)
        return item.id;
    if (role == Qt::TextAlignmentRole && (index.column() == SizeColumn || index.column() == ProgressColumn))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == RemoteColumn)
        return remoteShown(item);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case LocalColumn:
        return item.localPath;
    case DirectionColumn:
        return getText(item.isDownload() ? "QUEUE_DOWNLOAD" : "QUEUE_UPLOAD");
    case RemoteColumn:
        return remoteShown(item);
    case SizeColumn:
        return item.isFolder || item.size < 0 ? QString() : localSizeText(item.size);
    case ProgressColumn:
        if (item.isFolder || item.state == TransferState::Failed)
            return QString();
        if (item.state == TransferState::Done)
            return QStringLiteral("100 %");
        if (item.state == TransferState::Queued && item.bytesDone == 0)
            return QString();
        return QStringLiteral("%1 %").arg(item.size > 0 ? std::min<qint64>(item.bytesDone * 100 / item.size, 100) : 0);
    case ReasonColumn:
        return item.reason;
    default:
        return {};
    }
}

QVariant TransferQueue::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const keys[ColumnCount] = {"QUEUE_COL_LOCAL", "QUEUE_COL_DIRECTION", "QUEUE_COL_REMOTE",
                                                  "QUEUE_COL_SIZE",  "QUEUE_COL_PROGRESS",  "QUEUE_COL_REASON"};
    return section >= 0 && section < ColumnCount ? getText(keys[section]) : QVariant();
}

void TransferQueue::retranslate()
{
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_items.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(static_cast<int>(m_items.size()) - 1, ColumnCount - 1));
}
