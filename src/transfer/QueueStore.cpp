#include "QueueStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <algorithm>

#include <sqlite3.h>

namespace {

constexpr int schemaVersion = 1;

const char* const createSchema = R"(
CREATE TABLE items (
    id INTEGER PRIMARY KEY,
    position INTEGER NOT NULL,
    batch INTEGER NOT NULL,
    direction INTEGER NOT NULL,
    is_folder INTEGER NOT NULL,
    local_path TEXT NOT NULL,
    remote_path TEXT NOT NULL,
    size INTEGER NOT NULL,
    flag INTEGER NOT NULL,
    protocol INTEGER NOT NULL,
    host TEXT NOT NULL,
    port TEXT NOT NULL,
    user TEXT NOT NULL,
    passive INTEGER NOT NULL,
    encryption INTEGER NOT NULL,
    texts INTEGER NOT NULL,
    shown_name TEXT NOT NULL,
    refusal INTEGER NOT NULL,
    state INTEGER NOT NULL,
    reason TEXT NOT NULL,
    tries INTEGER NOT NULL,
    bytes_done INTEGER NOT NULL,
    partial_path TEXT NOT NULL,
    remote_size INTEGER NOT NULL,
    remote_time INTEGER
);
CREATE TABLE settings (key TEXT PRIMARY KEY, value INTEGER NOT NULL);
PRAGMA user_version = 1;
)";

const char* const itemColumns =
    "id, batch, direction, is_folder, local_path, remote_path, size, flag, protocol, host, port, user, passive, "
    "encryption, texts, shown_name, refusal, state, reason, tries, bytes_done, partial_path, remote_size, remote_time";

// One prepared statement, finalized when it goes out of scope.
class Statement
{
public:
    Statement(sqlite3* db, const QByteArray& sql)
    {
        if (db && sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &m_statement, nullptr) != SQLITE_OK)
            m_statement = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isValid() const { return m_statement != nullptr; }
    void bind(int index, qint64 value) { sqlite3_bind_int64(m_statement, index, value); }
    void bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    void bindNull(int index) { sqlite3_bind_null(m_statement, index); }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return m_statement ? sqlite3_step(m_statement) : SQLITE_MISUSE; }
    bool run() { return step() == SQLITE_DONE; }
    // Ready to run again with new values.
    void reset() { sqlite3_reset(m_statement); }

    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    bool isNull(int column) const { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }
    QString text(int column) const
    {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column)) : QString();
    }

private:
    sqlite3_stmt* m_statement = nullptr;
};

// A value read back from the file, checked against the values an enum has.
template <typename Enum>
bool toEnum(qint64 value, qint64 lowest, qint64 highest, Enum& out)
{
    if (value < lowest || value > highest)
        return false;
    out = static_cast<Enum>(value);
    return true;
}

bool readItem(const Statement& row, TransferItem& item)
{
    item.id = row.integer(0);
    item.batch = row.integer(1);
    item.isFolder = row.integer(3) != 0;
    item.localPath = row.text(4);
    item.remotePath = row.text(5);
    item.size = row.integer(6);
    item.server.host = row.text(9);
    item.server.port = row.text(10);
    item.server.user = row.text(11);
    item.server.ftp.passive = row.integer(12) != 0;
    item.shownName = row.text(15);
    item.reason = row.text(18);
    item.tries = static_cast<int>(std::clamp<qint64>(row.integer(19), 0, 1'000'000));
    item.bytesDone = row.integer(20);
    item.partialPath = row.text(21);
    item.remoteSizeAtStart = row.integer(22);
    if (!row.isNull(23))
        item.remoteTimeAtStart = QDateTime::fromMSecsSinceEpoch(row.integer(23), Qt::UTC);
    return item.id > 0 && toEnum(row.integer(2), 0, 1, item.direction) && toEnum(row.integer(7), 1, 2, item.flag)
           && toEnum(row.integer(8), 0, 1, item.server.protocol)
           && toEnum(row.integer(13), 0, 2, item.server.ftp.encryption) && toEnum(row.integer(14), 0, 2, item.texts)
           && toEnum(row.integer(16), 0, 5, item.refusal) && toEnum(row.integer(17), 0, 3, item.state);
}

// Where a damaged file goes: beside it, under a name no other file has.
QString asideName(const QString& path)
{
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-%1").arg(n);
    return aside;
}

} // namespace

QueueStore::QueueStore() = default;

QueueStore::~QueueStore()
{
    close();
}

QString QueueStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/queue.sqlite3");
}

void QueueStore::close()
{
    flush();
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

bool QueueStore::exec(const char* sql) const
{
    return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QueueStore::Opened QueueStore::open(const QString& path)
{
    close();
    m_keptAside.clear();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Opened::Unavailable;
    m_lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // stale only when the copy that held it is gone
    if (!m_lock->tryLock(0)) {
        const bool inUse = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        return inUse ? Opened::InUse : Opened::Unavailable;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QByteArray name = QFile::encodeName(path);
        if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            close();
            // Nothing there to keep aside: the folder itself refuses.
            if (!QFileInfo::exists(path))
                return Opened::Unavailable;
        } else if (prepareSchema() && readable() && exec("PRAGMA journal_mode = WAL")) {
            return m_keptAside.isEmpty() ? Opened::Read : Opened::KeptAside;
        }
        close();
        if (attempt > 0)
            break;
        // The write-ahead log belongs to the file: it goes along, so the copy kept aside stays whole.
        m_keptAside = asideName(path);
        if (!QFile::rename(path, m_keptAside))
            return Opened::Unavailable;
        for (const char* suffix : {"-wal", "-shm"}) {
            const QString part = path + QLatin1String(suffix);
            if (QFileInfo::exists(part))
                QFile::rename(part, m_keptAside + QLatin1String(suffix));
        }
    }
    return Opened::Unavailable;
}

bool QueueStore::prepareSchema()
{
    sqlite3_busy_timeout(m_db, 2000);
    // Nothing is written before the file proved to be a queue: a damaged one is kept as it was.
    // A file that is not a database fails here, at its first read.
    qint64 found = -1;
    qint64 tableCount = -1;
    {
        Statement check(m_db, "PRAGMA quick_check");
        if (check.step() != SQLITE_ROW || check.text(0) != QStringLiteral("ok"))
            return false;
        Statement version(m_db, "PRAGMA user_version");
        Statement tables(m_db, "SELECT count(*) FROM sqlite_master");
        if (version.step() != SQLITE_ROW || tables.step() != SQLITE_ROW)
            return false;
        found = version.integer(0);
        tableCount = tables.integer(0);
    }
    // With a write-ahead log, a commit waits for the disk only at checkpoints; a crash may then
    // lose the last changes, never the file.
    if (!exec("PRAGMA synchronous = NORMAL"))
        return false;
    if (found == schemaVersion)
        return true;
    // An empty file becomes a queue; one that holds anything else is not ours to change. It is
    // made in the log's mode at once, which spares the waits for the disk of a rollback journal.
    if (found != 0 || tableCount != 0)
        return false;
    return exec("PRAGMA journal_mode = WAL") && exec("BEGIN") && exec(createSchema) && exec("COMMIT");
}

bool QueueStore::readable() const
{
    Statement rows(m_db, QByteArray("SELECT ") + itemColumns + " FROM items ORDER BY position");
    if (!rows.isValid())
        return false;
    int result = SQLITE_ROW;
    while ((result = rows.step()) == SQLITE_ROW) {
        TransferItem item;
        if (!readItem(rows, item))
            return false;
    }
    return result == SQLITE_DONE;
}

QList<TransferItem> QueueStore::load() const
{
    QList<TransferItem> items;
    Statement rows(m_db, QByteArray("SELECT ") + itemColumns + " FROM items ORDER BY position");
    while (rows.step() == SQLITE_ROW) {
        TransferItem item;
        if (readItem(rows, item))
            items.append(item);
    }
    return items;
}

void QueueStore::add(QList<TransferItem>& items)
{
    if (!m_db) {
        for (TransferItem& item : items)
            item.id = m_nextId++;
        return;
    }
    exec("BEGIN");
    Statement last(m_db, "SELECT coalesce(max(position), 0), coalesce(max(id), 0) FROM items");
    last.step();
    qint64 position = last.integer(0);
    m_nextId = std::max(m_nextId, last.integer(1) + 1);
    Statement insert(m_db, QByteArray("INSERT INTO items (position, ") + itemColumns
                               + ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, "
                                 "?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25)");
    for (TransferItem& item : items) {
        item.id = m_nextId++;
        insert.bind(1, ++position);
        insert.bind(2, item.id);
        insert.bind(3, item.batch);
        insert.bind(4, static_cast<qint64>(item.direction));
        insert.bind(5, item.isFolder ? 1 : 0);
        insert.bind(6, item.localPath);
        insert.bind(7, item.remotePath);
        insert.bind(8, item.size);
        insert.bind(9, static_cast<qint64>(item.flag));
        insert.bind(10, static_cast<qint64>(item.server.protocol));
        insert.bind(11, item.server.host);
        insert.bind(12, item.server.port);
        insert.bind(13, item.server.user);
        insert.bind(14, item.server.ftp.passive ? 1 : 0);
        insert.bind(15, static_cast<qint64>(item.server.ftp.encryption));
        insert.bind(16, static_cast<qint64>(item.texts));
        insert.bind(17, item.shownName);
        insert.bind(18, static_cast<qint64>(item.refusal));
        insert.bind(19, static_cast<qint64>(item.state));
        insert.bind(20, item.reason);
        insert.bind(21, item.tries);
        insert.bind(22, item.bytesDone);
        insert.bind(23, item.partialPath);
        insert.bind(24, item.remoteSizeAtStart);
        if (item.remoteTimeAtStart.isValid())
            insert.bind(25, item.remoteTimeAtStart.toMSecsSinceEpoch());
        else
            insert.bindNull(25);
        insert.run();
        insert.reset();
    }
    exec("COMMIT");
}

void QueueStore::update(const TransferItem& item)
{
    if (m_db)
        m_pending.insert(item.id, item);
}

void QueueStore::flush()
{
    if (!m_db || m_pending.isEmpty())
        return;
    exec("BEGIN");
    Statement change(m_db, "UPDATE items SET state = ?2, reason = ?3, tries = ?4, bytes_done = ?5, partial_path = ?6, "
                           "remote_size = ?7, remote_time = ?8, size = ?9 WHERE id = ?1");
    for (const TransferItem& item : std::as_const(m_pending)) {
        change.bind(1, item.id);
        change.bind(2, static_cast<qint64>(item.state));
        change.bind(3, item.reason);
        change.bind(4, item.tries);
        change.bind(5, item.bytesDone);
        change.bind(6, item.partialPath);
        change.bind(7, item.remoteSizeAtStart);
        if (item.remoteTimeAtStart.isValid())
            change.bind(8, item.remoteTimeAtStart.toMSecsSinceEpoch());
        else
            change.bindNull(8);
        change.bind(9, item.size);
        change.run();
        change.reset();
    }
    exec("COMMIT");
    m_pending.clear();
}

void QueueStore::remove(const QList<qint64>& ids)
{
    if (!m_db)
        return;
    for (const qint64 id : ids)
        m_pending.remove(id);
    exec("BEGIN");
    Statement erase(m_db, "DELETE FROM items WHERE id = ?1");
    for (const qint64 id : ids) {
        erase.bind(1, id);
        erase.run();
        erase.reset();
    }
    exec("COMMIT");
}

void QueueStore::reorder(const QList<qint64>& ids)
{
    if (!m_db)
        return;
    exec("BEGIN");
    QList<qint64> positions;
    Statement read(m_db, "SELECT position FROM items WHERE id = ?1");
    for (const qint64 id : ids) {
        read.bind(1, id);
        if (read.step() == SQLITE_ROW)
            positions.append(read.integer(0));
        read.reset();
    }
    std::sort(positions.begin(), positions.end());
    Statement write(m_db, "UPDATE items SET position = ?2 WHERE id = ?1");
    for (qsizetype at = 0; at < ids.size() && at < positions.size(); ++at) {
        write.bind(1, ids.at(at));
        write.bind(2, positions.at(at));
        write.run();
        write.reset();
    }
    exec("COMMIT");
}

int QueueStore::intSetting(const char* key, int fallback) const
{
    Statement read(m_db, "SELECT value FROM settings WHERE key = ?1");
    if (!read.isValid())
        return fallback;
    read.bind(1, QString::fromLatin1(key));
    return read.step() == SQLITE_ROW ? static_cast<int>(read.integer(0)) : fallback;
}

void QueueStore::setIntSetting(const char* key, int value)
{
    Statement write(m_db, "INSERT OR REPLACE INTO settings (key, value) VALUES (?1, ?2)");
    if (!write.isValid())
        return;
    write.bind(1, QString::fromLatin1(key));
    write.bind(2, value);
    write.run();
}
