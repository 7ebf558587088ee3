#pragma once

#include "RemoteOperations.h"
#include "RetryPolicy.h"
#include "RetryingUpload.h"
#include "SelectedRow.h"
#include "TransferItem.h"
#include "UploadItem.h"
#include "UploadType.h"

#include <QList>
#include <QString>

#include <optional>

class JobContext;
class QFile;

// The two places an upload of the selection starts from; they differ in their texts and in the
// progress bar, which only the context menu's variant drives.
enum class UploadVariant {
    Main,        // the main menu (F2) and the local pane's "upload" button
    ContextMenu, // the default entry of the local pane's context menu
};

// What an upload needs, read on the GUI thread when the command starts.
struct UploadRequest {
    QString sourceFolder;        // the local pane's folder, ending in "/", its case kept
    QList<SelectedRow> rows;     // in list order
    QString remoteFolder;        // the server folder the remote pane shows; empty: the current one
    ConnectionSettings settings; // for every re-connection of this upload
    UploadType type;
    UploadVariant variant = UploadVariant::Main;
    RetrySettings retry{};       // how a file whose transfer failed is tried again
};

// What the GUI needs when the upload has ended, or when its walk has: the selection's items to
// queue, in their order.
struct UploadResult {
    bool anythingToDo = false; // items were found: the remote pane is to list its folder again
    QList<TransferItem> items;
    int filesUploaded = 0;
    int filesFailed = 0;
};

// The upload of the selection walks first (UploadSelection, on the session thread): the selected
// items in list order, then everything the walks of the selected folders found, become one queue
// item each, a folder to make before what is inside it, with the server folder the remote pane
// shows as their start. The queue's workers send them; every item writes the lines the upload
// writes for it.
//
// Upload-as sends one file on the browsing connection. Each file goes to a temporary name and
// replaces the server's file only once complete; a transfer that breaks is tried again as the
// request's retry settings say, going on where it stopped (RetryingUpload). A failed or stopped
// upload never deletes anything on the server: the old file stays as it was, and the temporary
// file stays for a resume.
class UploadJob
{
public:
    static constexpr qint64 blockSize = RetryingUpload::blockSize;

    UploadJob(JobContext& context, UploadRequest request);

    // Walks the selection and gives its items; the job is used once.
    UploadResult uploadSelection();
    // Upload-as: the source folder's file localName under newName (already trimmed) into the
    // remote folder. An empty file is refused with its own red line and nothing is sent.
    UploadResult uploadAs(const QString& localName, const QString& newName);

    // The items collected and walked, in the order they are sent; filled by uploadSelection().
    const QList<UploadItem>& uploadList() const { return m_items; }

private:
    TransferItem queueItem(const UploadItem& item) const;
    // UploadFile: sends one local file under remoteName into the server's current folder and
    // writes its status line; true when the server confirmed the complete file.
    bool uploadFile(const QString& localPath, const QString& remoteName);
    // A new connection for the retry of a file, into folder (absolute); asks nothing when it fails.
    bool reconnectForRetry(const QString& folder);
    bool cancelled() const;

    JobContext& m_context;
    RemoteOperations& m_session;
    UploadRequest m_request;
    QString m_startFolder;  // the folder every item starts from, as the pane showed it
    QString m_serverFolder; // the absolute folder the server is in now, ending in "/"
    RetryingUpload::ServerHabits m_habits;
    QList<UploadItem> m_items;
    UploadResult m_result;
    qint64 m_bytesTotal = 0;
    qint64 m_bytesDone = 0;
};
