#pragma once

#include "JobRunner.h"

#include <deque>

class RemoteOperations;

// Runs jobs on the GUI thread against a stand-in session, one after the other from the event
// loop, with the same ordering and continuations as the session thread. Questions go straight
// to the handlers.
class InlineJobRunner : public JobRunner
{
    Q_OBJECT

public:
    explicit InlineJobRunner(RemoteOperations& session, QObject* parent = nullptr)
        : JobRunner(parent)
        , m_session(session)
    {
    }

protected:
    void enqueue(QueuedTask queued) override;
    PromptAnswer askOnGui(const MessageRequest& request, const std::atomic<bool>&) override { return answer(request); }
    InputAnswer askTextOnGui(const InputRequest& request, const std::atomic<bool>&) override { return answer(request); }
    TrustDecision askPeerIdentityOnGui(const PeerIdentity& identity, const std::atomic<bool>&) override
    {
        return answer(identity);
    }
    // Jobs run whole on the GUI thread: only waiting ones can be stopped.
    void cancelQueued(bool) override
    {
        for (const QueuedTask& queued : m_queue)
            queued.cancelled->store(true);
    }

private:
    void runNext();

    RemoteOperations& m_session;
    std::deque<QueuedTask> m_queue;
};
