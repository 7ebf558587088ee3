#include "LocalWorker.h"

#include "Prompter.h"

#include <chrono>
#include <future>
#include <memory>

namespace {
// How often work waiting for an error box looks whether the program is closing.
constexpr auto answerPollInterval = std::chrono::milliseconds(50);
} // namespace

LocalWorker::Context::Context(LocalWorker& worker, const std::atomic<bool>& cancelled)
    : m_worker(worker)
    , m_cancelled(cancelled)
{
}

void LocalWorker::Context::appendHistory(const QString& text, HistoryColour colour)
{
    LocalWorker* worker = &m_worker;
    m_worker.postToGui([worker, text, colour] { Q_EMIT worker->historyLine(text, colour); });
}

void LocalWorker::Context::progress(qint64 done, qint64 total)
{
    LocalWorker* worker = &m_worker;
    m_worker.postToGui([worker, done, total] { Q_EMIT worker->progressChanged(done, total); });
}

void LocalWorker::Context::showError(const QString& text)
{
    auto shown = std::make_shared<std::promise<void>>();
    std::future<void> closed = shown->get_future();
    QWidget* window = m_worker.m_window;
    m_worker.postToGui([window, text, shown] {
        showMessage(window, text, PromptIcon::Critical);
        shown->set_value();
    });
    while (closed.wait_for(answerPollInterval) != std::future_status::ready) {
        if (m_cancelled.load())
            return;
    }
}

LocalWorker::LocalWorker(QWidget* window, QObject* parent)
    : QObject(parent)
    , m_window(window)
{
    // One piece at a time, in order.
    m_pool.setMaxThreadCount(1);
    m_pool.setObjectName(QStringLiteral("local work"));
}

LocalWorker::~LocalWorker()
{
    m_stopping = true;
    m_pool.clear();
    m_pool.waitForDone();
}

void LocalWorker::start(std::function<void(Context&)> work, std::function<void()> done)
{
    ++m_pending;
    m_pool.start([this, work = std::move(work), done = std::move(done)]() mutable {
        Context context(*this, m_stopping);
        work(context);
        postToGui([this, done = std::move(done)] {
            if (done)
                done();
            if (--m_pending == 0)
                Q_EMIT idle();
        });
    });
}

void LocalWorker::postToGui(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}
