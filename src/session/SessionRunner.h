#pragma once

#include "JobRunner.h"

#include <condition_variable>
#include <deque>
#include <mutex>

class QThread;

// Owns the session thread and the one FTP session; the jobs run there.
class SessionRunner : public JobRunner
{
    Q_OBJECT

public:
    explicit SessionRunner(QObject* parent = nullptr);
    ~SessionRunner() override;

    // Stops the running job, drops the waiting ones and ends the thread; returns within about a
    // second whatever the server does.
    void shutdown();

protected:
    void enqueue(QueuedTask queued) override;
    PromptAnswer askOnGui(const MessageRequest& request, const std::atomic<bool>& cancelled) override;
    InputAnswer askTextOnGui(const InputRequest& request, const std::atomic<bool>& cancelled) override;
    TrustDecision askPeerIdentityOnGui(const PeerIdentity& identity, const std::atomic<bool>& cancelled) override;
    void cancelQueued(bool announce) override;

private:
    void runLoop();
    template <typename Answer, typename Request>
    Answer askAndWait(const Request& request, const std::atomic<bool>& cancelled, Answer cancelAnswer);

    QThread* m_thread = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QueuedTask> m_queue;
    QueuedTask m_running; // the job that runs now (no task while none runs)
    bool m_stopping = false;
    std::atomic<bool> m_closing{false};
};
