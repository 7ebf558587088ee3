#include "SessionRunner.h"

#include "FtpSession.h"
#include "JobContext.h"

#include <QPointer>
#include <QThread>

#include <chrono>
#include <future>

namespace {
// How often a job waiting for an answer looks whether the program is closing.
constexpr auto answerPollInterval = std::chrono::milliseconds(50);
} // namespace

SessionRunner::SessionRunner(QObject* parent)
    : QObject(parent)
{
    // The session is made on its own thread, so that its sockets belong to it.
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

void SessionRunner::start(std::function<void(JobContext&)> job, std::function<void()> done)
{
    enqueue([this, job = std::move(job), done = std::move(done)](JobContext& context) mutable {
        job(context);
        if (done)
            postToGui(std::move(done));
    });
}

void SessionRunner::enqueue(Task task)
{
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return;
    ++m_pending;
    m_queue.push_back(std::move(task));
    m_wake.notify_one();
}

void SessionRunner::runLoop()
{
    FtpSession session;
    session.setCancelFlag(&m_cancelled);
    JobContext context(*this, session, m_cancelled);
    session.setCertificateQuestion([&context](const CertificateInfo& info) { return context.askCertificate(info); });
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                break;
            task = std::move(m_queue.front());
            m_queue.pop_front();
        }
        task(context);
        const bool connected = session.isConnected();
        // The bookkeeping goes through the GUI thread too, so that it follows the job's own reports.
        postToGui([this, connected] {
            if (m_connected.exchange(connected) != connected)
                Q_EMIT connectedChanged(connected);
            if (--m_pending == 0)
                Q_EMIT idle();
        });
    }
    session.closeConnection();
}

void SessionRunner::shutdown()
{
    if (!m_thread)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
        m_cancelled = true;
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

void SessionRunner::postToGui(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

PromptAnswer SessionRunner::askOnGui(const MessageRequest& request)
{
    const PromptAnswer cancelAnswer = request.buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
    auto answer = std::make_shared<std::promise<PromptAnswer>>();
    auto future = answer->get_future();
    postToGui([this, request, answer] {
        answer->set_value(m_messageHandler ? m_messageHandler(request) : PromptAnswer::Ok);
    });
    while (future.wait_for(answerPollInterval) != std::future_status::ready) {
        if (m_cancelled)
            return cancelAnswer;
    }
    return future.get();
}

InputAnswer SessionRunner::askTextOnGui(const InputRequest& request)
{
    auto answer = std::make_shared<std::promise<InputAnswer>>();
    auto future = answer->get_future();
    postToGui([this, request, answer] {
        answer->set_value(m_inputHandler ? m_inputHandler(request) : InputAnswer{});
    });
    while (future.wait_for(answerPollInterval) != std::future_status::ready) {
        if (m_cancelled)
            return {};
    }
    return future.get();
}

TrustDecision SessionRunner::askCertificateOnGui(const CertificateInfo& info)
{
    auto answer = std::make_shared<std::promise<TrustDecision>>();
    auto future = answer->get_future();
    postToGui([this, info, answer] {
        answer->set_value(m_certificateHandler ? m_certificateHandler(info) : TrustDecision::Cancel);
    });
    while (future.wait_for(answerPollInterval) != std::future_status::ready) {
        if (m_cancelled)
            return TrustDecision::Cancel;
    }
    return future.get();
}

JobContext::JobContext(SessionRunner& runner, FtpSession& session, const std::atomic<bool>& cancelled)
    : m_runner(runner)
    , m_session(session)
    , m_cancelled(cancelled)
{
}

void JobContext::appendHistory(const QString& text, HistoryColour colour)
{
    SessionRunner* runner = &m_runner;
    m_runner.postToGui([runner, text, colour] { Q_EMIT runner->historyLine(text, colour); });
}

void JobContext::progress(qint64 done, qint64 total)
{
    SessionRunner* runner = &m_runner;
    m_runner.postToGui([runner, done, total] { Q_EMIT runner->progressChanged(done, total); });
}

PromptAnswer JobContext::ask(const MessageRequest& request)
{
    return m_runner.askOnGui(request);
}

InputAnswer JobContext::askText(const InputRequest& request)
{
    return m_runner.askTextOnGui(request);
}

TrustDecision JobContext::askCertificate(const CertificateInfo& info)
{
    return m_runner.askCertificateOnGui(info);
}

void JobContext::reconnectFailed()
{
    SessionRunner* runner = &m_runner;
    m_runner.postToGui([runner] { Q_EMIT runner->reconnectFailed(); });
}
