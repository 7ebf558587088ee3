#pragma once

#include "ConnectionSettings.h"
#include "HistoryColour.h"
#include "JobContext.h"
#include "PeerIdentity.h"
#include "PromptTypes.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class RemoteOperations;

// Stops one job: the running one ends as soon as it can, a waiting one ends before it talks to
// the server. Handles are cheap to copy; an empty handle stops nothing.
class JobHandle
{
public:
    JobHandle() = default;
    explicit JobHandle(std::shared_ptr<std::atomic<bool>> cancelled)
        : m_cancelled(std::move(cancelled))
    {
    }
    void cancel() const
    {
        if (m_cancelled)
            m_cancelled->store(true);
    }
    bool isCancelled() const { return m_cancelled && m_cancelled->load(); }

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};

// Whether a job counts as work the user waits for (and can stop), or runs unseen (the connection
// watch's check).
enum class JobVisibility { Shown, Background };

// Whether stopping writes the history line that says the user stopped the running job.
enum class StopNotice { Announce, Quiet };

// Runs the jobs that talk to the server, one at a time and in the order they were started; a job
// started while another runs waits its turn. History lines, progress, questions and results come
// back to the GUI thread in order, through this object's signals and the continuations given to
// start(). SessionRunner runs them on the session thread; the panes' tests run them on a stand-in.
//
// A stopped job that had not begun yet never talks to the server: its continuation gets a
// default-made result (Result{}), so every continuation takes that as "nothing was done".
class JobRunner : public QObject
{
    Q_OBJECT

public:
    using MessageHandler = std::function<PromptAnswer(const MessageRequest&)>;
    using InputHandler = std::function<InputAnswer(const InputRequest&)>;
    using PeerIdentityHandler = std::function<TrustDecision(const PeerIdentity&)>;

    explicit JobRunner(QObject* parent = nullptr);
    ~JobRunner() override;

    // Queues job; done (optional) then runs on the GUI thread with the job's result.
    template <typename Result>
    JobHandle start(std::function<Result(JobContext&)> job, std::function<void(Result)> done,
                    JobVisibility visibility = JobVisibility::Shown)
    {
        return enqueueTask(
            [this, job = std::move(job), done = std::move(done)](JobContext& context) mutable {
                auto result = std::make_shared<Result>(context.isCancelled() ? Result{} : job(context));
                if (done)
                    postToGui([done = std::move(done), result] { done(std::move(*result)); });
            },
            visibility);
    }
    JobHandle start(std::function<void(JobContext&)> job, std::function<void()> done = {});

    // Answers the questions jobs ask; set by the GUI (tests install their own).
    void setMessageHandler(MessageHandler handler) { m_messageHandler = std::move(handler); }
    void setInputHandler(InputHandler handler) { m_inputHandler = std::move(handler); }
    // Answers the peer-identity question (a certificate the system does not accept, a host key the
    // known-hosts file does not hold); without one, such a server is refused.
    void setPeerIdentityHandler(PeerIdentityHandler handler) { m_peerIdentityHandler = std::move(handler); }

    // The connection bar's values for the jobs started from now on: a job hands those of the
    // moment it was started to the session before it runs (RemoteOperations::updateSettings), so
    // that a switch which holds on a live connection (passive) changes from the next command on,
    // never in the middle of one, and the connection is kept. Never set, the session keeps what
    // its last connect set.
    void updateSettings(const ConnectionSettings& settings) { m_settings = settings; }

    // A shown job is running or waiting.
    bool isBusy() const { return m_pending.load() > 0; }
    // The session has a connection, as of the last job that ended.
    bool isConnected() const { return m_connected.load(); }

    // Stops the running job and every waiting one (their continuations still run); the running
    // one ends with a red history line saying the user stopped it, unless notice is Quiet.
    void stopAll(StopNotice notice = StopNotice::Announce);

Q_SIGNALS:
    void historyLine(const QString& text, HistoryColour colour);
    void progressChanged(qint64 done, qint64 total);
    void transferProgressChanged(const QString& name, qint64 done, qint64 total);
    void connectedChanged(bool connected);
    void busyChanged(bool busy);
    void reconnectFailed();
    // Every queued job has ended and its continuation has run.
    void idle();

protected:
    using Task = std::function<void(JobContext&)>;
    struct QueuedTask {
        Task task;
        std::shared_ptr<std::atomic<bool>> cancelled;
        JobVisibility visibility = JobVisibility::Shown;
        // Set when the job was stopped while it ran and the stop is to be announced.
        std::shared_ptr<std::atomic<bool>> announceStop;
    };

    // Hands a task to the place that runs it; queued.cancelled is the job's own stop flag.
    virtual void enqueue(QueuedTask queued) = 0;
    // The job's questions: asked on the GUI thread, the job waits for the answer.
    virtual PromptAnswer askOnGui(const MessageRequest& request, const std::atomic<bool>& cancelled) = 0;
    virtual InputAnswer askTextOnGui(const InputRequest& request, const std::atomic<bool>& cancelled) = 0;
    virtual TrustDecision askPeerIdentityOnGui(const PeerIdentity& identity, const std::atomic<bool>& cancelled) = 0;
    // Every job calls this when it has ended, from where it ran.
    void taskEnded(const QueuedTask& queued, bool connected);
    void postToGui(std::function<void()> call);
    PromptAnswer answer(const MessageRequest& request) const;
    InputAnswer answer(const InputRequest& request) const;
    TrustDecision answer(const PeerIdentity& identity) const;
    // Marks every job that is queued or running as stopped; the running one is given announce.
    virtual void cancelQueued(bool announce) = 0;

private:
    friend class JobContext;
    JobHandle enqueueTask(Task task, JobVisibility visibility = JobVisibility::Shown);

    std::optional<ConnectionSettings> m_settings;
    std::atomic<int> m_pending{0};
    std::atomic<bool> m_connected{false};
    MessageHandler m_messageHandler;
    InputHandler m_inputHandler;
    PeerIdentityHandler m_peerIdentityHandler;
};
