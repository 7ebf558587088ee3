#include "InlineJobRunner.h"

#include "FtpOperations.h"
#include "JobContext.h"

InlineJobRunner::InlineJobRunner(FtpOperations& session, QObject* parent)
    : JobRunner(parent)
    , m_session(session)
{
}

void InlineJobRunner::enqueue(QueuedTask queued)
{
    m_queue.push_back(std::move(queued));
    postToGui([this] { runNext(); });
}

void InlineJobRunner::runNext()
{
    if (m_queue.empty())
        return;
    QueuedTask queued = std::move(m_queue.front());
    m_queue.pop_front();
    JobContext context(*this, m_session, *queued.cancelled);
    queued.task(context);
    taskEnded(queued, m_session.isConnected());
}

PromptAnswer InlineJobRunner::askOnGui(const MessageRequest& request, const std::atomic<bool>&)
{
    return answer(request);
}

InputAnswer InlineJobRunner::askTextOnGui(const InputRequest& request, const std::atomic<bool>&)
{
    return answer(request);
}

TrustDecision InlineJobRunner::askCertificateOnGui(const CertificateInfo& info, const std::atomic<bool>&)
{
    return answer(info);
}

void InlineJobRunner::cancelQueued(bool)
{
    // Jobs run whole on the GUI thread: only waiting ones can be stopped.
    for (const QueuedTask& queued : m_queue)
        queued.cancelled->store(true);
}
