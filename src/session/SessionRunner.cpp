#include "SessionRunner.h"

#include "JobContext.h"
#include "ProtocolSwitch.h"

#include <QThread>

#include <chrono>
#include <future>

namespace {
// How often a job waiting for an answer looks whether it was stopped.
constexpr auto answerPollInterval = std::chrono::milliseconds(50);
} // namespace

SessionRunner::SessionRunner(SessionFactory factory, QObject* parent)
    : JobRunner(parent)
    , m_factory(std::move(factory))
{
    // The sessions are made on their own thread, so that their sockets belong to it.
    m_thread = QThread::create([this] { runLoop(); });
    m_thread->setObjectName(QStringLiteral("session"));
    m_thread->start();
}

SessionRunner::~SessionRunner()
{
    shutdown();
    // The thread uses this object to the end; it must not outlive it, however late it ends.
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void SessionRunner::enqueue(QueuedTask queued)
{
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return;
    m_queue.push_back(std::move(queued));
    m_wake.notify_one();
}

void SessionRunner::cancelQueued(bool announce)
{
    std::lock_guard lock(m_mutex);
    for (const QueuedTask& queued : m_queue)
        queued.cancelled->store(true);
    if (m_running.cancelled && !m_running.cancelled->exchange(true) && announce)
        m_running.announceStop->store(true);
}

void SessionRunner::runLoop()
{
    ProtocolSwitch session(m_factory);
    for (;;) {
        QueuedTask queued;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                break;
            queued = std::move(m_queue.front());
            m_queue.pop_front();
            m_running = queued;
        }
        // Every wait of the session looks at the running job's own flag.
        session.setCancelFlag(queued.cancelled.get());
        JobContext context(*this, session, *queued.cancelled);
        // A connect may need the user's word on the server's identity; the job waits for it.
        session.setPeerIdentityQuestion([&context](const PeerIdentity& identity) { return context.askPeerIdentity(identity); });
        // ... and the passphrase of a key file.
        session.setInputQuestion([&context](const InputRequest& request) { return context.askText(request); });
        queued.task(context);
        session.setPeerIdentityQuestion({});
        session.setInputQuestion({});
        // Between jobs only the closing of the program stops a wait.
        session.setCancelFlag(&m_closing);
        {
            std::lock_guard lock(m_mutex);
            m_running = {};
        }
        taskEnded(queued, session.isConnected());
    }
    session.setCancelFlag(&m_closing);
    session.closeConnection();
}

void SessionRunner::shutdown()
{
    if (!m_thread)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_closing = true;
        m_queue.clear();
        if (m_running.cancelled)
            m_running.cancelled->store(true);
        m_wake.notify_one();
    }
    // Every wait of the session looks at the cancel flag at least every 100 ms.
    if (!m_thread->wait(QDeadlineTimer(900))) {
        qWarning("session thread did not stop in time");
        return;
    }
    delete m_thread;
    m_thread = nullptr;
}

template <typename Answer, typename Request>
Answer SessionRunner::askAndWait(const Request& request, const std::atomic<bool>& cancelled, Answer cancelAnswer)
{
    auto promise = std::make_shared<std::promise<Answer>>();
    auto future = promise->get_future();
    postToGui([this, request, promise] { promise->set_value(answer(request)); });
    while (future.wait_for(answerPollInterval) != std::future_status::ready) {
        if (cancelled.load())
            return cancelAnswer;
    }
    return future.get();
}

PromptAnswer SessionRunner::askOnGui(const MessageRequest& request, const std::atomic<bool>& cancelled)
{
    const PromptAnswer cancelAnswer = request.buttons == PromptButtons::YesNo         ? PromptAnswer::No
                                      : request.buttons == PromptButtons::ThreeChoices ? PromptAnswer::Third
                                                                                       : PromptAnswer::Ok;
    return askAndWait(request, cancelled, cancelAnswer);
}

InputAnswer SessionRunner::askTextOnGui(const InputRequest& request, const std::atomic<bool>& cancelled)
{
    return askAndWait(request, cancelled, InputAnswer{});
}

TrustDecision SessionRunner::askPeerIdentityOnGui(const PeerIdentity& identity, const std::atomic<bool>& cancelled)
{
    return askAndWait(identity, cancelled, TrustDecision::Cancel);
}
