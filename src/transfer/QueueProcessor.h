#pragma once

#include "HistoryColour.h"
#include "ItemOutcome.h"
#include "PeerIdentity.h"
#include "TransferItem.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class JobContext;
class JobRunner;
class PeerDecisions;
class TransferQueue;

// Carries out the queue: workers that each own a connection and a thread of their own take the
// items in the order the queue's rules allow, as many at once as the parallel setting says, so
// that the browsing connection stays free. A worker's connection is made with its first item and
// kept while items remain.
//
// Workers never ask: a password the queue does not know is asked on the GUI side, once per server,
// before its items are given out; a server that cannot be reached holds its items back (they wait
// as queued, and the user is told once) until the queue is processed again. An item's history
// lines are written together when it ends, so that the lines of items running side by side do not
// interleave. Stop ends the running items at once; they wait again with the rest.
class QueueProcessor : public QObject
{
    Q_OBJECT

public:
    // Carries out one item on the worker's session (on the worker's thread). server holds the
    // password. One is made per worker: what it keeps between items is that worker's alone.
    using ItemJob = std::function<ItemOutcome(JobContext&, const TransferItem&, const ConnectionSettings& server)>;
    struct Work {
        std::function<std::unique_ptr<JobRunner>()> makeWorker;
        std::function<ItemJob()> makeItemJob;
    };
    // Asks the user for a server's password; nullopt when the user declined.
    using PasswordQuestion = std::function<std::optional<QString>(const ConnectionSettings& server)>;

    QueueProcessor(TransferQueue& queue, Work work, QObject* parent = nullptr);
    ~QueueProcessor() override;

    void setPasswordQuestion(PasswordQuestion question) { m_askPassword = std::move(question); }
    // The most transfers one server (by accountKey()) takes at once; 0 or less: as many as the
    // queue runs.
    void setServerLimit(std::function<int(const QString& server)> limit) { m_serverLimit = std::move(limit); }
    // Tells the user once that a server could not be reached (a message box in the program).
    void setNoConnectionNotice(std::function<void(const QString& reason)> notice) { m_noConnection = std::move(notice); }
    // A server identity a worker met that nothing vouches for is asked about here, once, on the
    // GUI side; the answer goes into decisions, which the workers answer from.
    void setIdentityQuestion(std::shared_ptr<PeerDecisions> decisions, std::function<TrustDecision(const PeerIdentity&)> question)
    {
        m_decisions = std::move(decisions);
        m_askIdentity = std::move(question);
    }

    // Queues the items of one command (they become one batch), whose server's password is
    // password, and starts them (items held by a stop or a restart go on waiting). done (optional)
    // runs once none of them waits or runs any more.
    void add(QList<TransferItem> items, const QString& password, std::function<void()> done = {});
    // "Process the queue": what waits is given out again, held items and servers held back included.
    void process();
    // Stops every running item; they and the rest wait as queued, until the queue is processed.
    void stop();
    // Failed items wait again, and the queue is processed.
    void requeue(const QList<qint64>& ids);
    void requeueAllFailed();
    // Removes items from the queue, stopping those that run; a download's partial file goes too.
    void remove(const QList<qint64>& ids);
    void setParallel(int count);
    // The program ends: every worker stops at once; what ran waits as queued at the next start.
    void shutdown();

    bool isProcessing() const { return m_processing; }
    // Items run.
    bool isBusy() const { return m_running > 0; }
    int workerCount() const { return static_cast<int>(m_workers.size()); }

Q_SIGNALS:
    void historyLine(const QString& text, HistoryColour colour);
    // The work of this run (since the queue last stood still): done of total, as bytes where the
    // sizes are known.
    void progressChanged(qint64 done, qint64 total);
    // The status line: the running item (or how many run), bytes done of total of this run.
    void transferProgressChanged(const QString& name, qint64 done, qint64 total);
    void busyChanged(bool busy);
    // Nothing runs any more.
    void idle();
    // Sent with idle when items ended that no command of this session waits for (brought back at
    // start, or re-queued after their command ended): the panes may show the folders as they were.
    void itemsWithoutCommandEnded(bool downloads, bool uploads);

private:
    struct Worker;
    void dispatch();
    Worker* freeWorker();
    void start(Worker& worker, qint64 id);
    void ended(Worker& worker, ItemOutcome outcome);
    // Removes items that no worker runs, with a download's partial file.
    void removeNow(const QList<qint64>& ids);
    void finishWithoutWorker(qint64 id, const QString& reason, const QList<QPair<QString, HistoryColour>>& lines);
    void askMissingPasswords();
    QSet<QString> allowedServers() const;
    void batchChanged(qint64 batch);
    // Reports at most a few times a second: the sums go over the whole queue.
    void reportProgress();
    void sendProgress();
    void countItemEnded(const TransferItem& item);
    void becameIdle();
    // The item's server could not be reached; true when that was an identity the user is now asked about.
    bool askAboutIdentity(const ConnectionSettings& server);

    TransferQueue& m_queue;
    Work m_work;
    PasswordQuestion m_askPassword;
    std::function<int(const QString&)> m_serverLimit;
    std::function<void(const QString&)> m_noConnection;
    std::shared_ptr<PeerDecisions> m_decisions;
    std::function<TrustDecision(const PeerIdentity&)> m_askIdentity;
    std::vector<std::unique_ptr<Worker>> m_workers;
    QHash<QString, QString> m_passwords; // accountKey -> password, for this run of the program only
    QSet<QString> m_heldBack;            // servers not reached, or whose password was not given
    QSet<QString> m_refusedIdentities;   // servers whose identity the user refused
    QHash<qint64, std::function<void()>> m_batchDone;
    QSet<qint64> m_batchesWorkedOn; // batches with items that ended since the queue was last idle
    bool m_downloadsWithoutCommand = false; // such items ended since then, see itemsWithoutCommandEnded
    bool m_uploadsWithoutCommand = false;
    QSet<qint64> m_removeWhenEnded; // removed while they ran: they go once their workers let go
    QTimer m_progressTimer;
    bool m_processing = false;
    bool m_wasBusy = false;
    bool m_asking = false;
    bool m_askingIdentity = false;
    bool m_dispatching = false;
    bool m_dispatchAgain = false;
    int m_running = 0;
    // This run's work: items and bytes, and what of them has ended.
    qint64 m_runItems = 0;
    qint64 m_runItemsEnded = 0;
    qint64 m_runBytes = 0;
    qint64 m_runBytesEnded = 0;
};
