#pragma once

#include "ItemOutcome.h"
#include "QueueProcessor.h"
#include "TransferItem.h"

#include <QList>
#include <QString>

#include <memory>

class RemoteOperations;
class UploadStream;
class JobContext;
class QFile;
class TransferLedger;

// Carries out one queue item on a worker's session and writes its history lines as the command
// that queued it would: a file fetched into its local folder or sent into its server folder, a
// folder made locally or on the server. The connection is made on first use, from the item's
// values, and kept for the next item; a step that fails because the connection was lost runs once
// more on a new one. Every change of server folder is checked. Nothing is asked: a connection that
// cannot be made ends the item as NoConnection, and the queue tells the user.
class ItemTransfer
{
public:
    static constexpr qint64 blockSize = 256 * 1024;

    // Where one worker's session stands between its items.
    struct WorkerState {
        QString server; // serverKey() of the connection made; empty when none was made
        QString folder; // the server folder the session is in; empty when not known
        QString localFolder; // the local folder the last download went into, when it worked
    };

    // The job a worker runs its items with; ledger is shared by every worker of the queue.
    static QueueProcessor::ItemJob makeJob(std::shared_ptr<TransferLedger> ledger);
    // Removes a partial file a stopped upload left, and says so.
    static void removePartialFile(JobContext& context, const ConnectionSettings& server, const QString& path);

    ItemTransfer(JobContext& context, WorkerState& state, TransferLedger& ledger, const TransferItem& item,
                 const ConnectionSettings& server);
    ItemOutcome run();

private:
    ItemOutcome downloadFolder();
    ItemOutcome downloadFile();
    ItemOutcome uploadFolder();
    ItemOutcome uploadFile();
    // Makes the local folder (and those above it) where it is missing, with its two lines.
    bool makeLocalFolder(const QString& path);
    bool sendContent(QFile& file, UploadStream& stream);
    void removePartial(const QString& name, bool createdByUs, ItemOutcome& outcome);

    // Runs step on a connection; when it failed because the connection was lost, once more on a
    // new one. False with the outcome set when it could not be run or failed.
    bool withConnection(const std::function<bool()>& step);
    bool connect();
    bool changeToFolder(const QString& folder);
    ItemOutcome ended(bool success, const QString& reason = {});
    bool cancelled() const;
    // The item's history lines go back with its outcome, all at once.
    void line(const QString& text, HistoryColour colour = HistoryColour::Black);

    JobContext& m_context;
    RemoteOperations& m_session;
    WorkerState& m_state;
    TransferLedger& m_ledger;
    const TransferItem& m_item;
    const ConnectionSettings& m_server;
    std::optional<ItemOutcome::End> m_connectionFailure; // set when a connection could not be made
    bool m_identityRefused = false;
    qint64 m_bytesDone = 0;
    QList<QPair<QString, HistoryColour>> m_lines;
};
