#include "InlineJobRunner.h"

#include "JobContext.h"
#include "RemoteOperations.h"

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
