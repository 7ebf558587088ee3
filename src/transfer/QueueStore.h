#pragma once

#include "TransferItem.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

struct sqlite3;
class QLockFile;

// The transfer queue on disk: one SQLite file (write-ahead log) holding every item in queue order
// and the queue's settings, written as items are added and as they change state, so that a queue
// survives the end of the program, also an unplanned one. Passwords are never written.
//
// A file that cannot be read as a queue is not overwritten: it is kept aside under another name
// and an empty queue takes its place. A file another running copy of the program holds is left to
// it: this copy then keeps its queue in memory only.
class QueueStore
{
public:
    enum class Opened {
        Read,       // the file was read (or made, when there was none)
        KeptAside,  // the file was damaged: see keptAside(); the queue starts empty
        InUse,      // another copy of the program uses it; nothing is kept
        Unavailable // the folder cannot be written; nothing is kept
    };

    QueueStore();
    ~QueueStore();
    QueueStore(const QueueStore&) = delete;
    QueueStore& operator=(const QueueStore&) = delete;

    // queue.sqlite3 in the user's data folder.
    static QString defaultPath();

    // Opens the queue at path, making it when it is not there; load() then gives its items.
    Opened open(const QString& path);
    bool isOpen() const { return m_db != nullptr; }
    // Where a damaged file was moved to by open().
    QString keptAside() const { return m_keptAside; }

    // Every item, in queue order.
    QList<TransferItem> load() const;
    // Appends items after the last, in their order, and gives each its id (also without a file,
    // so that ids stay unique in memory).
    void add(QList<TransferItem>& items);
    // Writes what changes while an item waits, runs and ends: at the next flush(), together with
    // the other changes since the last one, in one transaction.
    void update(const TransferItem& item);
    // Writes the changes update() holds.
    void flush();
    bool hasPending() const { return !m_pending.isEmpty(); }
    void remove(const QList<qint64>& ids);
    // The items, which stand together in the queue's order, take their places in the order given.
    void reorder(const QList<qint64>& ids);

    int intSetting(const char* key, int fallback) const;
    void setIntSetting(const char* key, int value);

private:
    bool prepareSchema();
    bool readable() const;
    void close();
    bool exec(const char* sql) const;

    sqlite3* m_db = nullptr;
    QHash<qint64, TransferItem> m_pending; // id -> the item as it is to be written
    std::unique_ptr<QLockFile> m_lock;
    QString m_keptAside;
    qint64 m_nextId = 1; // used while there is no file
};
