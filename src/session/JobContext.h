#pragma once

#include "HistoryColour.h"
#include "PeerIdentity.h"
#include "PromptTypes.h"

#include <QElapsedTimer>
#include <QString>

#include <atomic>

class RemoteOperations;
class JobRunner;

// What a job may use while it runs: the session, and the ways back to the GUI thread.
// Everything reported through it arrives there in the order it was reported.
class JobContext
{
public:
    JobContext(JobRunner& runner, RemoteOperations& session, const std::atomic<bool>& cancelled);

    RemoteOperations& session() { return m_session; }

    void appendHistory(const QString& text, HistoryColour colour = HistoryColour::Black);
    // Steps of a command that counts its items (the progress bar).
    void progress(qint64 done, qint64 total);
    // Bytes of the file being transferred (the status line); total 0 when unknown. Passed on a
    // few times a second at most, and always when the file is complete.
    void transferProgress(const QString& name, qint64 done, qint64 total);

    // Shows a message box on the GUI thread and waits for the answer. When the job is stopped or
    // the program closes meanwhile, the answer is No (or Ok for a box that only has OK).
    PromptAnswer ask(const MessageRequest& request);
    InputAnswer askText(const InputRequest& request);
    // Puts the peer-identity question to the GUI thread's handler and waits for the answer;
    // Cancel when there is no handler or the program closes meanwhile. The session asks it by
    // itself while it connects.
    TrustDecision askPeerIdentity(const PeerIdentity& identity);

    // Tells the GUI that a re-connection failed (it puts the focus into the address field).
    void reconnectFailed();

    // True once the job was stopped or the program is closing: return as soon as possible.
    bool isCancelled() const { return m_cancelled.load(); }

private:
    JobRunner& m_runner;
    RemoteOperations& m_session;
    const std::atomic<bool>& m_cancelled;
    QElapsedTimer m_lastTransferReport;
};
