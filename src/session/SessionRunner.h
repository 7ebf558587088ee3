#pragma once

#include "JobRunner.h"
#include "SessionFactory.h"

#include <condition_variable>
#include <deque>
#include <mutex>

class QThread;

// Owns the session thread and its session (one connection, of the protocol the last connect
// named, made by the factory); the jobs run there.
class SessionRunner : public JobRunner
{
    Q_OBJECT

public:
    explicit SessionRunner(SessionFactory factory, QObject* parent = nullptr);
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

    SessionFactory m_factory;
    QThread* m_thread = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QueuedTask> m_queue;
    QueuedTask m_running; // the job that runs now (no task while none runs)
    bool m_stopping = false;
    std::atomic<bool> m_closing{false};
};
