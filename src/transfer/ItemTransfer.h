#pragma once

#include "ItemOutcome.h"
#include "QueueProcessor.h"
#include "RemoteFileFacts.h"
#include "RetryPolicy.h"
#include "RetryingUpload.h"
#include "TransferItem.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class RemoteOperations;
class JobContext;
class TransferLedger;

// Carries out one queue item on a worker's session and writes its history lines as the command
// that queued it would: a file fetched into its local folder or sent into its server folder, a
// folder made locally or on the server. The connection is made on first use, from the item's
// values, and kept for the next item; a step that fails because the connection was lost runs once
// more on a new one. Every change of server folder is checked. A file's transfer that breaks is
// tried again and resumed as the retry settings say (RetryingDownload, RetryingUpload); what a
// resume needs (the partial or temporary file, the file's facts when it began) goes back with the
// outcome, so that the queue keeps it, across a restart too. Nothing is asked: a connection that
// cannot be made ends the item as NoConnection, and the queue tells the user.
class ItemTransfer
{
public:
    // Where one worker's session stands between its items.
    struct WorkerState {
        QString server; // accountKey() of the connection made; empty when none was made
        QString folder; // the server folder the session is in; empty when not known
        QString localFolder; // the local folder the last download went into, when it worked
        QHash<QString, RetryingUpload::ServerHabits> habits; // by accountKey(): what uploads learnt of it
    };

    // The job a worker runs its items with; ledger is shared by every worker of the queue.
    static QueueProcessor::ItemJob makeJob(std::shared_ptr<TransferLedger> ledger, RetrySettings retry = {});
    // The same with the retry settings of the moment each item starts (retry is called on the
    // worker's thread).
    static QueueProcessor::ItemJob makeJob(std::shared_ptr<TransferLedger> ledger, std::function<RetrySettings()> retry);

    ItemTransfer(JobContext& context, WorkerState& state, TransferLedger& ledger, RetrySettings retry,
                 const TransferItem& item, const ConnectionSettings& server);
    ItemOutcome run();

private:
    ItemOutcome downloadFolder();
    ItemOutcome downloadFile();
    ItemOutcome uploadFolder();
    ItemOutcome uploadFile();
    // Makes the local folder (and those above it) where it is missing, with its two lines.
    bool makeLocalFolder(const QString& path);

    // Runs step on a connection; when it failed because the connection was lost, once more on a
    // new one. False with the outcome set when it could not be run or failed.
    bool withConnection(const std::function<bool()>& step);
    bool connect();
    // A new connection, for a retry, standing in folder.
    bool reconnectInto(const QString& folder);
    bool changeToFolder(const QString& folder);
    // The item's record of what a resume needs, as the retrying transfers take it, and back.
    RemoteFileFacts factsAtStart() const;
    void keepRecord(const QString& partialPath, const RemoteFileFacts& atStart);
    ItemOutcome ended(bool success, const QString& reason = {});
    bool cancelled() const;
    // The item's history lines go back with its outcome, all at once: those written before the
    // transfer began apart from those after it, as the transfer's own lines (a retry's) come
    // between them.
    void line(const QString& text, HistoryColour colour = HistoryColour::Black);
    void transferStarts();

    JobContext& m_context;
    RemoteOperations& m_session;
    WorkerState& m_state;
    TransferLedger& m_ledger;
    RetrySettings m_retry;
    const TransferItem& m_item;
    const ConnectionSettings& m_server;
    std::optional<ItemOutcome::End> m_connectionFailure; // set when a connection could not be made
    bool m_identityRefused = false;
    qint64 m_bytesDone = 0;
    QList<QPair<QString, HistoryColour>> m_linesBefore;
    QList<QPair<QString, HistoryColour>> m_lines;
    std::optional<ItemOutcome::Record> m_record; // set once a transfer ran
};
