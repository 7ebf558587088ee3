#pragma once

#include "ConnectionSettings.h"
#include "TransferFlag.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

enum class TransferDirection { Download, Upload };

enum class TransferState {
    Queued,  // waits for a worker (also what was running when the program ended)
    Running, // a worker transfers it now
    Failed,  // ended without success; reason says why
    Done,    // arrived complete
};

// The history lines an item writes: those of the command that queued it.
enum class TransferTexts {
    Download,       // the download of the selection
    Upload,         // the upload from the main menu and the local pane's button
    UploadFromMenu, // the upload from the local pane's context menu
};

// Why a walk put an item into the queue that is never transferred as it stands. Such an item
// fails when its turn comes, with its red line in the place the transfer's would have been.
enum class TransferRefusal {
    None,
    UnusableName,    // a server name that cannot be a local name ("..", "/" inside, not UTF-8)
    FolderLink,      // a link to a folder: not followed, so a loop cannot make the walk endless
    TooDeep,         // below the deepest level a download walks to
    UnencodableName, // a local name whose bytes are not UTF-8: it would reach the server as another name
    Unlisted,        // a folder whose contents could not be listed: it is made, then counts as failed
};

// One transfer of the queue: a file to send or fetch, or a folder to make, with everything needed
// to carry it out later, after a restart too. Plain values; the queue gives it its identity.
struct TransferItem {
    qint64 id = 0;    // unique in the queue's store; 0 until the queue takes the item
    qint64 batch = 0; // the command that queued it; items of one command share it
    TransferDirection direction = TransferDirection::Download;
    bool isFolder = false; // a folder to make at the target; nothing is transferred
    QString localPath;     // absolute; a download's target, an upload's source
    QString remotePath;    // absolute on the server
    qint64 size = -1;      // bytes as the listing or the disk named them; -1 when unknown
    TransferFlag flag = TransferFlag::Binary; // how an upload is sent; downloads are byte for byte
    ConnectionSettings server;                // the password is never kept here
    TransferTexts texts = TransferTexts::Download;
    QString shownName; // what the start line of the history names
    TransferRefusal refusal = TransferRefusal::None;

    TransferState state = TransferState::Queued;
    QString reason; // of a failed item, as shown
    int tries = 0;  // transfers begun
    qint64 bytesDone = 0;

    // What a resume needs: the partial file a download writes (or an upload's temporary name on the
    // server), and the size and time of the file it began from (the server's for a download, the
    // local one for an upload); -1 and invalid when not known.
    QString partialPath;
    qint64 remoteSizeAtStart = -1;
    QDateTime remoteTimeAtStart;

    bool isDownload() const { return direction == TransferDirection::Download; }
    bool hasEnded() const { return state == TransferState::Failed || state == TransferState::Done; }
};

// Names the account an item belongs to: protocol, host (case-insensitive), port and user. Items with the
// same key share a password and the workers' connections.
inline QString accountKey(const ConnectionSettings& server)
{
    const std::optional<quint16> port = parsePort(server.port);
    const QString scheme = server.protocol == Protocol::Sftp ? QStringLiteral("sftp:") : QStringLiteral("ftp:");
    return scheme + server.host.trimmed().toCaseFolded() + QLatin1Char(':') + (port ? QString::number(*port) : server.port)
           + QLatin1Char(':') + server.user;
}

// Puts a command's items into the transfer queue, with their server's password; done runs once
// none of them waits or runs any more.
using QueueTransfers = std::function<void(QList<TransferItem> items, const QString& password, std::function<void()> done)>;
