#pragma once

#include "QueueStore.h"
#include "RetryPolicy.h"
#include "TransferItem.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <optional>

// The transfer queue: every item in its order, with the rules of what may run next, kept in the
// store as it changes, and shown as a table (one row per item, in queue order). The processor
// moves items through their states; the pane's commands reorder, remove and re-queue them.
//
// Rules:
// - Items run in queue order, as far as the rules below let them.
// - A folder is made before anything inside it: an item waits while a folder item of its command
//   above it waits or runs, and fails without a line of its own when that folder failed (the
//   folder's red line stands for what is inside).
// - Two items never write one target at once: one waits while another with the same local file
//   (download) or server path (upload) runs.
// - Stopped items wait again as queued; failed ones wait only when re-queued.
// - What waits when the queue is read from its store or stopped is held: it runs only once the
//   queue is released ("process the queue"); the items of a command queued later run meanwhile.
class TransferQueue : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { LocalColumn, DirectionColumn, RemoteColumn, SizeColumn, ProgressColumn, ReasonColumn, ColumnCount };
    // The item's TransferState as an int, for the tabs' filters.
    static constexpr int StateRole = Qt::UserRole + 1;
    static constexpr int IdRole = Qt::UserRole + 2;

    static constexpr int minimumParallel = 1;
    static constexpr int maximumParallel = 10;
    static constexpr int defaultParallel = 2;

    // What the processor is to do with the next item.
    struct Next {
        enum class Action {
            Run,         // give it to a worker
            Refuse,      // fail it with its refusal's lines, without a worker
            FailInFolder // fail it quietly: its folder could not be made
        };
        qint64 id = 0;
        Action action = Action::Run;
    };

    explicit TransferQueue(QObject* parent = nullptr);
    ~TransferQueue() override;

    // Opens the store at path and shows what it holds; what was running when the program ended
    // waits as queued.
    QueueStore::Opened open(const QString& path);
    QString keptAside() const { return m_store.keptAside(); }

    const QList<TransferItem>& items() const { return m_items; }
    const TransferItem* item(qint64 id) const;
    int rowOf(qint64 id) const;
    // Items that wait or run, of one command.
    int openInBatch(qint64 batch) const { return m_openInBatch.value(batch); }

    // A number for the items of one command.
    qint64 newBatch() { return ++m_lastBatch; }
    // Appends items in their order, as queued; returns their ids.
    QList<qint64> add(QList<TransferItem> items);
    // Removes items whatever their state (running ones are the processor's to stop first).
    void remove(const QList<qint64>& ids);
    // Moves items one place up or down among the items of their tab.
    void moveUp(const QList<qint64>& ids);
    void moveDown(const QList<qint64>& ids);
    // Failed items wait again; returns how many did.
    int requeue(const QList<qint64>& ids);
    int requeueAllFailed();

    // The first queued item the rules let go, among those of the servers named (by accountKey()).
    std::optional<Next> next(const QSet<QString>& servers) const;
    // Every command queued so far waits until release(); open() holds what the store gave back.
    void holdAll() { m_heldUpTo = m_lastBatch; }
    void release() { m_heldUpTo = 0; }
    void setRunning(qint64 id);
    void setProgress(qint64 id, qint64 bytesDone);
    // The item ended (Done or Failed) or went back to waiting (Queued); what changed is taken
    // from changed, the state included.
    void finish(const TransferItem& changed);

    int parallel() const { return m_parallel; }
    void setParallel(int count);
    // How a transfer that broke is tried again; kept with the queue. May be read on any thread.
    RetrySettings retrySettings() const { return m_retry.load(); }
    void setRetrySettings(RetrySettings settings);

    int columnCount(const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The headers follow the chosen language.
    void retranslate();

Q_SIGNALS:
    // An item ended, left the queue or waits again: the work counted for its command changed.
    void batchChanged(qint64 batch);

private:
    void move(const QList<qint64>& ids, int step);
    void setState(int row, TransferState state);
    void rowChanged(int row);
    // State changes reach the file a moment later, many in one transaction.
    void storeChanged(const TransferItem& item);
    void indexFolders(int from);
    void rebuildRows();
    // What only one item may write at a time.
    static QString targetKey(const TransferItem& item);
    // The folder items of its command above the item, innermost first.
    QList<qint64> foldersAbove(const TransferItem& item) const;
    static QString folderKey(qint64 batch, const QString& path);

    QueueStore m_store;
    QTimer m_flush;
    QList<TransferItem> m_items;
    QHash<qint64, int> m_rows;         // id -> row
    QHash<QString, qint64> m_folders;  // folderKey -> id of the folder item
    QSet<QString> m_busyTargets;       // targetKey of every running item
    // No row above this one holds a queued item: next() starts there, not at the top of a queue
    // with thousands of ended items above its first queued one.
    mutable int m_firstQueued = 0;
    QHash<qint64, int> m_openInBatch;  // batch -> items that wait or run
    qint64 m_lastBatch = 0;
    qint64 m_heldUpTo = 0; // the commands up to this batch wait for release()
    int m_parallel = defaultParallel;
    std::atomic<RetrySettings> m_retry{RetrySettings{}};
};
