#include "QueueProcessor.h"

#include "ItemTexts.h"
#include "JobContext.h"
#include "JobRunner.h"
#include "PeerDecisions.h"
#include "RemoteOperations.h"
#include "TextCatalogue.h"
#include "TransferQueue.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

struct QueueProcessor::Worker {
    std::unique_ptr<JobRunner> runner;
    ItemJob job;
    qint64 itemId = 0; // the running item; 0 while the worker is free
    QList<QPair<QString, HistoryColour>> lines; // the running item's, written when it ends
    qint64 bytesDone = 0;
    bool used = false; // ran an item since the queue last stood still: it may hold a connection
};

QueueProcessor::QueueProcessor(TransferQueue& queue, Work work, QObject* parent)
    : QObject(parent)
    , m_queue(queue)
    , m_work(std::move(work))
{
    connect(&m_queue, &TransferQueue::batchChanged, this, &QueueProcessor::batchChanged);
    constexpr int progressInterval = 250;
    m_progressTimer.setSingleShot(true);
    m_progressTimer.setInterval(progressInterval);
    connect(&m_progressTimer, &QTimer::timeout, this, &QueueProcessor::sendProgress);
}

QueueProcessor::~QueueProcessor()
{
    shutdown();
}

void QueueProcessor::shutdown()
{
    m_processing = false;
    // Every worker is told first, so that they all wind down at the same time; the items they ran
    // stay "running" in the store and wait as queued at the next start.
    for (const auto& worker : m_workers)
        worker->runner->stopAll(StopNotice::Quiet);
    m_workers.clear();
}

void QueueProcessor::add(QList<TransferItem> items, const QString& password, std::function<void()> done)
{
    if (items.isEmpty()) {
        if (done)
            done();
        return;
    }
    const qint64 batch = m_queue.newBatch();
    for (TransferItem& item : items)
        item.batch = batch;
    // The command reached its server just now: a server held back earlier is tried again.
    const QString server = accountKey(items.first().server);
    m_passwords.insert(server, password);
    m_heldBack.remove(server);
    m_refusedIdentities.remove(server);
    if (done)
        m_batchDone.insert(batch, std::move(done));
    m_queue.add(std::move(items));
    m_processing = true;
    dispatch();
}

void QueueProcessor::process()
{
    m_queue.release();
    m_heldBack.clear();
    m_refusedIdentities.clear();
    askMissingPasswords();
    m_processing = true;
    dispatch();
}

void QueueProcessor::askMissingPasswords()
{
    if (m_asking)
        return;
    m_asking = true;
    // Copied first: the queue may change while a question is open.
    QList<ConnectionSettings> servers;
    QSet<QString> seen;
    for (const TransferItem& item : m_queue.items()) {
        const QString key = accountKey(item.server);
        if (item.state == TransferState::Queued && !m_passwords.contains(key) && !seen.contains(key)) {
            seen.insert(key);
            servers.append(item.server);
        }
    }
    for (const ConnectionSettings& server : std::as_const(servers)) {
        const std::optional<QString> password = m_askPassword ? m_askPassword(server) : std::nullopt;
        if (password)
            m_passwords.insert(accountKey(server), *password);
        else
            m_heldBack.insert(accountKey(server));
    }
    m_asking = false;
}

QSet<QString> QueueProcessor::allowedServers() const
{
    // Items that run, by server.
    QHash<QString, int> running;
    for (const auto& worker : m_workers) {
        if (const TransferItem* item = worker->itemId > 0 ? m_queue.item(worker->itemId) : nullptr)
            ++running[accountKey(item->server)];
    }
    QSet<QString> allowed;
    for (auto known = m_passwords.cbegin(); known != m_passwords.cend(); ++known) {
        if (m_heldBack.contains(known.key()))
            continue;
        // A server may take fewer transfers at once than the queue runs.
        const int limit = m_serverLimit ? m_serverLimit(known.key()) : 0;
        if (limit <= 0 || running.value(known.key()) < limit)
            allowed.insert(known.key());
    }
    return allowed;
}

void QueueProcessor::stop()
{
    m_processing = false;
    // What waits now, stopped items included, waits for "process the queue".
    m_queue.holdAll();
    bool stopped = false;
    for (const auto& worker : m_workers) {
        if (worker->itemId > 0) {
            worker->runner->stopAll(StopNotice::Quiet);
            stopped = true;
        }
    }
    if (stopped)
        Q_EMIT historyLine(getText("MPUB_STOPPED"), HistoryColour::Red);
}

void QueueProcessor::requeue(const QList<qint64>& ids)
{
    if (m_queue.requeue(ids) > 0)
        process();
}

void QueueProcessor::requeueAllFailed()
{
    if (m_queue.requeueAllFailed() > 0)
        process();
}

void QueueProcessor::remove(const QList<qint64>& ids)
{
    QList<qint64> now;
    for (const qint64 id : ids) {
        const auto running = std::find_if(m_workers.cbegin(), m_workers.cend(),
                                          [id](const auto& worker) { return worker->itemId == id; });
        if (running == m_workers.cend()) {
            now.append(id);
            continue;
        }
        // It keeps its target until its worker has let go of it.
        m_removeWhenEnded.insert(id);
        (*running)->runner->stopAll(StopNotice::Quiet);
    }
    removeNow(now);
}

void QueueProcessor::removeNow(const QList<qint64>& ids)
{
    // A download's partial file goes with its item; an upload's temporary file on the server stays,
    // as a failed upload leaves it.
    for (const qint64 id : ids) {
        const TransferItem* item = m_queue.item(id);
        if (item && item->isDownload() && !item->partialPath.isEmpty() && item->partialPath != item->localPath)
            QFile::remove(item->partialPath);
    }
    m_queue.remove(ids);
}

void QueueProcessor::setParallel(int count)
{
    m_queue.setParallel(count);
    dispatch();
}

void QueueProcessor::dispatch()
{
    // A question or message shown on the way runs the event loop, which may end items meanwhile.
    if (m_dispatching) {
        m_dispatchAgain = true;
        return;
    }
    m_dispatching = true;
    do {
        m_dispatchAgain = false;
        while (m_processing) {
            Worker* worker = freeWorker();
            if (!worker)
                break;
            const std::optional<TransferQueue::Next> next = m_queue.next(allowedServers());
            if (!next)
                break;
            const TransferItem& item = *m_queue.item(next->id);
            switch (next->action) {
            case TransferQueue::Next::Action::Refuse:
                finishWithoutWorker(item.id, ItemTexts::refusalReason(item.refusal), ItemTexts::refused(item));
                break;
            case TransferQueue::Next::Action::FailInFolder:
                finishWithoutWorker(item.id, getText("QUEUE_REASON_FOLDER"), {});
                break;
            case TransferQueue::Next::Action::Run:
                start(*worker, item.id);
                break;
            }
        }
    } while (m_dispatchAgain);
    m_dispatching = false;
    if (m_running == 0)
        becameIdle();
}

QueueProcessor::Worker* QueueProcessor::freeWorker()
{
    const int parallel = m_queue.parallel();
    for (int at = 0; at < parallel && at < static_cast<int>(m_workers.size()); ++at) {
        if (m_workers[static_cast<size_t>(at)]->itemId == 0)
            return m_workers[static_cast<size_t>(at)].get();
    }
    if (static_cast<int>(m_workers.size()) >= parallel)
        return nullptr;
    auto worker = std::make_unique<Worker>();
    worker->runner = m_work.makeWorker();
    worker->job = m_work.makeItemJob();
    Worker* made = worker.get();
    connect(made->runner.get(), &JobRunner::historyLine, this, [this, made](const QString& text, HistoryColour colour) {
        if (made->itemId > 0)
            made->lines.append({text, colour});
        else
            Q_EMIT historyLine(text, colour);
    });
    connect(made->runner.get(), &JobRunner::transferProgressChanged, this, [this, made](const QString&, qint64 done, qint64) {
        made->bytesDone = done;
        m_queue.setProgress(made->itemId, done);
        reportProgress();
    });
    m_workers.push_back(std::move(worker));
    return made;
}

void QueueProcessor::start(Worker& worker, qint64 id)
{
    m_queue.setRunning(id);
    const TransferItem item = *m_queue.item(id);
    ConnectionSettings server = item.server;
    server.password = m_passwords.value(accountKey(server));
    worker.itemId = id;
    worker.used = true;
    worker.lines.clear();
    worker.bytesDone = 0;
    ++m_running;
    if (!m_wasBusy) {
        m_wasBusy = true;
        Q_EMIT busyChanged(true);
    }
    QPointer<QueueProcessor> self(this);
    Worker* running = &worker;
    worker.runner->start<ItemOutcome>(
        [job = worker.job, item, server](JobContext& context) { return job(context, item, server); },
        [self, running](ItemOutcome outcome) {
            if (self)
                self->ended(*running, std::move(outcome));
        });
    reportProgress();
}

void QueueProcessor::ended(Worker& worker, ItemOutcome outcome)
{
    --m_running;
    const qint64 id = worker.itemId;
    worker.itemId = 0;
    QList<QPair<QString, HistoryColour>> lines = std::move(outcome.linesBefore);
    lines += std::move(worker.lines);
    worker.lines.clear();
    lines += outcome.lines;
    QString unreachable;
    std::optional<ConnectionSettings> unknownIdentity;
    if (const TransferItem* item = m_queue.item(id)) {
        TransferItem changed = *item;
        m_batchesWorkedOn.insert(changed.batch);
        if (!m_batchDone.contains(changed.batch)) {
            bool& withoutCommand = changed.direction == TransferDirection::Download ? m_downloadsWithoutCommand
                                                                                  : m_uploadsWithoutCommand;
            withoutCommand = true;
        }
        changed.bytesDone = outcome.bytesDone;
        if (outcome.size >= 0)
            changed.size = outcome.size;
        // What a resume needs, also after a restart; an item whose job never began keeps its own.
        if (outcome.record) {
            changed.partialPath = outcome.record->partialPath;
            changed.remoteSizeAtStart = outcome.record->sizeAtStart;
            changed.remoteTimeAtStart = outcome.record->timeAtStart;
        }
        switch (outcome.end) {
        case ItemOutcome::End::Done:
            changed.state = TransferState::Done;
            changed.reason.clear();
            break;
        case ItemOutcome::End::Failed:
            changed.state = TransferState::Failed;
            changed.reason = outcome.reason;
            break;
        case ItemOutcome::End::Stopped:
            changed.state = TransferState::Queued;
            lines.clear();
            break;
        case ItemOutcome::End::NoConnection:
            changed.state = TransferState::Queued;
            lines.clear();
            // The server's items wait until the queue is processed again; the user is told once,
            // or asked about the server's identity when that was the reason.
            if (outcome.identityRefused && m_decisions) {
                if (m_decisions->hasUnasked(changed.server.host, parsePort(changed.server.port).value_or(0))) {
                    m_heldBack.insert(accountKey(changed.server));
                    unknownIdentity = changed.server;
                } else if (m_refusedIdentities.contains(accountKey(changed.server))) {
                    // Answered meanwhile with no: the refusal has its line already.
                    m_heldBack.insert(accountKey(changed.server));
                }
            } else if (!m_heldBack.contains(accountKey(changed.server))) {
                m_heldBack.insert(accountKey(changed.server));
                unreachable = changed.server.host + QStringLiteral(": ") + outcome.reason;
            }
            break;
        }
        for (const auto& [text, colour] : std::as_const(lines))
            Q_EMIT historyLine(text, colour);
        if (changed.hasEnded())
            countItemEnded(changed);
        m_queue.finish(changed);
        if (m_removeWhenEnded.remove(id))
            removeNow({id});
    }
    if (!unreachable.isEmpty())
        Q_EMIT historyLine(getText("QUEUE_NOCONNECTION") + QLatin1Char(' ') + unreachable, HistoryColour::Red);
    dispatch();
    reportProgress();
    if (unknownIdentity && askAboutIdentity(*unknownIdentity))
        dispatch();
    if (!unreachable.isEmpty() && m_noConnection)
        m_noConnection(unreachable);
}

bool QueueProcessor::askAboutIdentity(const ConnectionSettings& server)
{
    // One question at a time; the workers that meet the identity meanwhile wait with the rest.
    if (m_askingIdentity)
        return false;
    const std::optional<PeerIdentity> identity = m_decisions->takeUnasked(server.host, parsePort(server.port).value_or(0));
    if (!identity)
        return false;
    m_askingIdentity = true;
    const TrustDecision decision = m_askIdentity ? m_askIdentity(*identity) : TrustDecision::Cancel;
    m_askingIdentity = false;
    m_decisions->record(*identity, decision);
    if (decision == TrustDecision::Cancel) {
        m_refusedIdentities.insert(accountKey(server));
        Q_EMIT historyLine(getText("TLS_CERTREFUSED"), HistoryColour::Red);
        return false;
    }
    m_refusedIdentities.remove(accountKey(server));
    m_heldBack.remove(accountKey(server));
    m_processing = true;
    return true;
}

void QueueProcessor::finishWithoutWorker(qint64 id, const QString& reason,
                                         const QList<QPair<QString, HistoryColour>>& lines)
{
    TransferItem changed = *m_queue.item(id);
    for (const auto& [text, colour] : lines)
        Q_EMIT historyLine(text, colour);
    changed.state = TransferState::Failed;
    changed.reason = reason;
    countItemEnded(changed);
    m_queue.finish(changed);
}

void QueueProcessor::countItemEnded(const TransferItem& item)
{
    ++m_runItemsEnded;
    m_runBytesEnded += std::max<qint64>(item.size, 0);
}

void QueueProcessor::reportProgress()
{
    if (!m_progressTimer.isActive()) {
        sendProgress();
        m_progressTimer.start();
    }
}

void QueueProcessor::sendProgress()
{
    qint64 items = m_runItemsEnded;
    qint64 bytes = m_runBytesEnded;
    qint64 bytesDone = m_runBytesEnded;
    int running = 0;
    QString runningName;
    for (const TransferItem& item : m_queue.items()) {
        if (item.state != TransferState::Queued && item.state != TransferState::Running)
            continue;
        ++items;
        bytes += std::max<qint64>(item.size, 0);
        if (item.state == TransferState::Running) {
            ++running;
            runningName = QFileInfo(item.isDownload() ? item.localPath : item.remotePath).fileName();
            bytesDone += std::min(item.bytesDone, std::max<qint64>(item.size, 0));
        }
    }
    if (running == 0)
        return;
    // By bytes where sizes are known, else by items.
    if (bytes > 0)
        Q_EMIT progressChanged(bytesDone, bytes);
    else
        Q_EMIT progressChanged(m_runItemsEnded, items);
    Q_EMIT transferProgressChanged(running == 1 ? runningName : getText("QUEUE_RUNNING").arg(running), bytesDone, bytes);
}

void QueueProcessor::becameIdle()
{
    m_processing = false;
    m_runItemsEnded = 0;
    m_runBytesEnded = 0;
    if (!m_wasBusy)
        return;
    m_wasBusy = false;
    // Connections are kept while items remain, and no longer.
    for (const auto& worker : m_workers) {
        if (std::exchange(worker->used, false))
            worker->runner->start([](JobContext& context) { context.session().closeConnection(); });
    }
    // A stop leaves a command's items queued: the panes still show what came of those that ran. The
    // command's own end comes again when its last item does.
    QList<std::function<void()>> open;
    for (const qint64 batch : std::exchange(m_batchesWorkedOn, {})) {
        const auto done = m_batchDone.constFind(batch);
        if (done != m_batchDone.cend() && m_queue.openInBatch(batch) > 0)
            open.append(*done);
    }
    const bool downloads = std::exchange(m_downloadsWithoutCommand, false);
    const bool uploads = std::exchange(m_uploadsWithoutCommand, false);
    Q_EMIT busyChanged(false);
    Q_EMIT idle();
    for (const std::function<void()>& call : std::as_const(open))
        call();
    if (downloads || uploads)
        Q_EMIT itemsWithoutCommandEnded(downloads, uploads);
}

void QueueProcessor::batchChanged(qint64 batch)
{
    if (m_queue.openInBatch(batch) > 0)
        return;
    const auto done = m_batchDone.find(batch);
    if (done == m_batchDone.end())
        return;
    const std::function<void()> call = std::move(*done);
    m_batchDone.erase(done);
    call();
}
