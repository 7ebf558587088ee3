#pragma once

#include "CertificateInfo.h"
#include "HistoryColour.h"
#include "PromptTypes.h"

#include <QString>

#include <atomic>

class FtpSession;
class SessionRunner;

// What a job running on the session thread may use: the one FTP session, and the ways back to
// the GUI thread. Everything reported through it arrives there in the order it was reported.
class JobContext
{
public:
    JobContext(SessionRunner& runner, FtpSession& session, const std::atomic<bool>& cancelled);

    FtpSession& session() { return m_session; }

    void appendHistory(const QString& text, HistoryColour colour = HistoryColour::Black);
    void progress(qint64 done, qint64 total);

    // Shows a message box on the GUI thread and waits for the answer. When the program closes
    // meanwhile, the answer is No (or Ok for a box that only has OK).
    PromptAnswer ask(const MessageRequest& request);
    InputAnswer askText(const InputRequest& request);
    // Puts the certificate question to the GUI thread's handler and waits for the answer; Cancel
    // when there is no handler or the program closes meanwhile. The session asks it by itself
    // while it connects.
    TrustDecision askCertificate(const CertificateInfo& info);

    // Tells the GUI that a re-connection failed (it puts the focus into the address field).
    void reconnectFailed();

    // True once the program is closing: the job should return as soon as it can.
    bool isCancelled() const { return m_cancelled.load(); }

private:
    SessionRunner& m_runner;
    FtpSession& m_session;
    const std::atomic<bool>& m_cancelled;
};
