#pragma once

#include "RemoteOperations.h"
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
};

// What the GUI needs when the upload has ended, or when its walk has: the selection's items to
// queue, in their order.
struct UploadResult {
    bool anythingToDo = false; // items were found: the remote pane is to list its folder again
    QList<TransferItem> items;
    int filesUploaded = 0;
    int filesFailed = 0;
    // A partly sent file that a stopped upload created on the server (absolute path), to be
    // removed by removePartialFile() once the stop is over; empty when there is none.
    QString partialFile;
};

// The upload of the selection walks first (UploadSelection, on the session thread): the selected
// items in list order, then everything the walks of the selected folders found, become one queue
// item each, a folder to make before what is inside it, with the server folder the remote pane
// shows as their start. The queue's workers send them; every item writes the lines the upload
// writes for it.
//
// Upload-as sends one file on the browsing connection. A transfer that breaks or is stopped
// removes its partial file only where the upload created it: under a name the folder's listing,
// read before the store, did not hold. A file that was there before is never deleted (a server may
// keep the old file when it refuses a store), nor one the job cannot tell about. The history says
// which.
class UploadJob
{
public:
    static constexpr qint64 blockSize = 256 * 1024;

    UploadJob(JobContext& context, UploadRequest request);

    // Walks the selection and gives its items; the job is used once.
    UploadResult uploadSelection();
    // Upload-as: the source folder's file localName under newName (already trimmed) into the
    // remote folder. An empty file is refused with its own red line and nothing is sent.
    UploadResult uploadAs(const QString& localName, const QString& newName);

    // Removes a partial file a stopped upload left, on a connection of its own, and says so.
    static bool removePartialFile(JobContext& context, const ConnectionSettings& settings, const QString& path);

    // The items collected and walked, in the order they are sent; filled by uploadSelection().
    const QList<UploadItem>& uploadList() const { return m_items; }

private:
    TransferItem queueItem(const UploadItem& item) const;
    // UploadFile: sends one local file under remoteName into the server's current folder and
    // writes its status line; true when the server confirmed the complete file.
    bool uploadFile(const QString& localPath, const QString& remoteName);
    bool sendContent(QFile& file, UploadStream& stream, const QString& remoteName);
    // Whether remoteName was absent from the server's current folder before this upload stored
    // into it; false when that cannot be told.
    bool isNewName(const QString& remoteName);
    void removePartial(const QString& remoteName, bool createdByUs);
    bool cancelled() const;

    JobContext& m_context;
    RemoteOperations& m_session;
    UploadRequest m_request;
    QString m_startFolder;  // the folder every item starts from, as the pane showed it
    QString m_serverFolder; // the absolute folder the server is in now, ending in "/"
    QList<UploadItem> m_items;
    UploadResult m_result;
};
