#pragma once

#include "CertificateInfo.h"
#include "HistoryColour.h"
#include "PromptTypes.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class FtpSession;
class JobContext;
class QThread;

// Owns the session thread and the one FTP session. Jobs run there one at a time, in the order
// they were started; a job started while another runs waits its turn. History lines, progress,
// questions and results come back to the GUI thread in order, through this object's signals and
// the continuations given to start().
class SessionRunner : public QObject
{
    Q_OBJECT

public:
    using MessageHandler = std::function<PromptAnswer(const MessageRequest&)>;
    using InputHandler = std::function<InputAnswer(const InputRequest&)>;
    using CertificateHandler = std::function<TrustDecision(const CertificateInfo&)>;

    explicit SessionRunner(QObject* parent = nullptr);
    ~SessionRunner() override;

    // Queues job; done (optional) then runs on the GUI thread with the job's result.
    template <typename Result>
    void start(std::function<Result(JobContext&)> job, std::function<void(Result)> done)
    {
        enqueue([this, job = std::move(job), done = std::move(done)](JobContext& context) mutable {
            auto result = std::make_shared<Result>(job(context));
            if (done)
                postToGui([done = std::move(done), result] { done(std::move(*result)); });
        });
    }
    void start(std::function<void(JobContext&)> job, std::function<void()> done = {});

    // Answers the questions jobs ask; set by the GUI (tests install their own).
    void setMessageHandler(MessageHandler handler) { m_messageHandler = std::move(handler); }
    void setInputHandler(InputHandler handler) { m_inputHandler = std::move(handler); }
    // Answers the certificate question (a certificate the system does not accept); without one,
    // such a certificate is refused.
    void setCertificateHandler(CertificateHandler handler) { m_certificateHandler = std::move(handler); }

    // A job is running or waiting.
    bool isBusy() const { return m_pending.load() > 0; }
    // The session has a connection (ConnectionHandle != 0), as of the last job that ended.
    bool isConnected() const { return m_connected.load(); }

    // Cancels the running job, drops the waiting ones and ends the thread; returns within about a
    // second whatever the server does.
    void shutdown();

Q_SIGNALS:
    void historyLine(const QString& text, HistoryColour colour);
    void progressChanged(qint64 done, qint64 total);
    void connectedChanged(bool connected);
    void reconnectFailed();
    // Every queued job has ended and its continuation has run.
    void idle();

private:
    friend class JobContext;
    using Task = std::function<void(JobContext&)>;

    void enqueue(Task task);
    void runLoop();
    void postToGui(std::function<void()> call);
    PromptAnswer askOnGui(const MessageRequest& request);
    InputAnswer askTextOnGui(const InputRequest& request);
    TrustDecision askCertificateOnGui(const CertificateInfo& info);

    QThread* m_thread = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Task> m_queue;
    bool m_stopping = false;
    std::atomic<bool> m_cancelled{false};
    std::atomic<int> m_pending{0};
    std::atomic<bool> m_connected{false};
    MessageHandler m_messageHandler;
    InputHandler m_inputHandler;
    CertificateHandler m_certificateHandler;
};
