#include "JobRunner.h"

#include "JobContext.h"
#include "RemoteOperations.h"
#include "TextCatalogue.h"

JobRunner::JobRunner(QObject* parent)
    : QObject(parent)
{
}

JobRunner::~JobRunner() = default;

JobHandle JobRunner::start(std::function<void(JobContext&)> job, std::function<void()> done)
{
    return enqueueTask([this, job = std::move(job), done = std::move(done)](JobContext& context) mutable {
        if (!context.isCancelled())
            job(context);
        if (done)
            postToGui(std::move(done));
    });
}

JobHandle JobRunner::enqueueTask(Task task, JobVisibility visibility)
{
    if (m_settings) {
        task = [task = std::move(task), settings = *m_settings](JobContext& context) {
            context.session().updateSettings(settings);
            task(context);
        };
    }
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    if (visibility == JobVisibility::Shown && m_pending++ == 0)
        Q_EMIT busyChanged(true);
    enqueue({std::move(task), cancelled, visibility, std::make_shared<std::atomic<bool>>(false)});
    return JobHandle(cancelled);
}

void JobRunner::stopAll(StopNotice notice)
{
    cancelQueued(notice == StopNotice::Announce);
}

void JobRunner::taskEnded(const QueuedTask& queued, bool connected)
{
    const bool announce = queued.announceStop->load();
    const bool shown = queued.visibility == JobVisibility::Shown;
    // The bookkeeping goes through the GUI thread too, so that it follows the job's own reports.
    postToGui([this, connected, announce, shown] {
        if (announce)
            Q_EMIT historyLine(getText("MPUB_STOPPED"), HistoryColour::Red);
        if (m_connected.exchange(connected) != connected)
            Q_EMIT connectedChanged(connected);
        if (shown && --m_pending == 0) {
            Q_EMIT busyChanged(false);
            Q_EMIT idle();
        }
    });
}

void JobRunner::postToGui(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

PromptAnswer JobRunner::answer(const MessageRequest& request) const
{
    return m_messageHandler ? m_messageHandler(request) : PromptAnswer::Ok;
}

InputAnswer JobRunner::answer(const InputRequest& request) const
{
    return m_inputHandler ? m_inputHandler(request) : InputAnswer{};
}

TrustDecision JobRunner::answer(const PeerIdentity& identity) const
{
    return m_peerIdentityHandler ? m_peerIdentityHandler(identity) : TrustDecision::Cancel;
}

JobContext::JobContext(JobRunner& runner, RemoteOperations& session, const std::atomic<bool>& cancelled)
    : m_runner(runner)
    , m_session(session)
    , m_cancelled(cancelled)
{
}

void JobContext::appendHistory(const QString& text, HistoryColour colour)
{
    JobRunner* runner = &m_runner;
    m_runner.postToGui([runner, text, colour] { Q_EMIT runner->historyLine(text, colour); });
}

void JobContext::progress(qint64 done, qint64 total)
{
    JobRunner* runner = &m_runner;
    m_runner.postToGui([runner, done, total] { Q_EMIT runner->progressChanged(done, total); });
}

void JobContext::transferProgress(const QString& name, qint64 done, qint64 total)
{
    // Reports are cheap to make but not to show: a fast transfer calls this for every block.
    constexpr qint64 reportInterval = 250;
    const bool complete = total > 0 && done >= total;
    if (!complete && m_lastTransferReport.isValid() && m_lastTransferReport.elapsed() < reportInterval)
        return;
    m_lastTransferReport.start();
    JobRunner* runner = &m_runner;
    m_runner.postToGui([runner, name, done, total] { Q_EMIT runner->transferProgressChanged(name, done, total); });
}

PromptAnswer JobContext::ask(const MessageRequest& request)
{
    return m_runner.askOnGui(request, m_cancelled);
}

InputAnswer JobContext::askText(const InputRequest& request)
{
    return m_runner.askTextOnGui(request, m_cancelled);
}

TrustDecision JobContext::askPeerIdentity(const PeerIdentity& identity)
{
    return m_runner.askPeerIdentityOnGui(identity, m_cancelled);
}

void JobContext::reconnectFailed()
{
    JobRunner* runner = &m_runner;
    m_runner.postToGui([runner] { Q_EMIT runner->reconnectFailed(); });
}
