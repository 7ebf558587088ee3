#pragma once

#include "DownloadItem.h"
#include "RemoteOperations.h"
#include "RetryPolicy.h"
#include "SelectedRow.h"
#include "TransferItem.h"

#include <QList>
#include <QString>

#include <functional>

class JobContext;

// What a download needs, read on the GUI thread when the command starts.
struct DownloadRequest {
    QList<SelectedRow> rows;      // in list order; ".." is skipped
    QString remoteFolder;         // the absolute server folder the remote pane shows, holding the rows
    QString targetFolder;         // local folder, ending in "/"
    ConnectionSettings settings;  // for a re-connection of the walk, and the items' server
    qsizetype maxWalkEntries = walkEntryLimit; // the walk stops past this many items
    // How the transfers of the items are tried again, for whoever runs them (the queue's workers).
    RetrySettings retry{};
};

// What the walk found: the items to queue, in the order they are to run.
struct DownloadResult {
    QString targetFolder; // the folder the local pane is to show
    QList<TransferItem> items;
};

// The first half of a download (DownloadSelection), on the session thread: collects the selected
// files of a server folder and walks the selected folders, and makes one queue item per file and
// per folder to make locally. The files of the selected folder come first, then each folder tree in
// the order the walk found it, a folder before what is inside it. The queue's workers transfer
// them; each item writes the lines the download writes for it.
//
// The walk starts by changing into the folder the request names, checked: if it cannot be
// entered, every selected item gets its red line and nothing is queued. Names from the server
// never become paths outside the target folder: an item whose name or folder path is not a usable
// local name is queued as refused, and fails with its red line when its turn comes. The walk does
// not follow links to folders and stops at maxWalkDepth levels, so a server folder that loops
// cannot make a download endless; it also stops, with a red line, past maxWalkEntries items, so a
// server that invents folders cannot exhaust memory. A folder not listed then gets its red line.
//
// The connection is used as long as it works. When it is lost, the walk re-connects once,
// returns to the folder it needs and goes on; if that fails, the no-connection message is shown
// once, one red line tells what was left undone, and nothing is queued.
class DownloadJob
{
public:
    static constexpr int maxWalkDepth = 64;

    DownloadJob(JobContext& context, DownloadRequest request);

    // Walks the selection and gives its items; the job is used once.
    DownloadResult downloadSelection();

    // The items collected and walked, in list order; filled by downloadSelection().
    const QList<DownloadItem>& downloadList() const { return m_items; }

private:
    void collectSelection();
    // Appends every entry below the folder item at folderIndex, its subfolders after its own
    // entries; depth 1 is a selected folder.
    void walkRemoteFolder(qsizetype folderIndex, int depth);
    // The order of the downloads: the selected folder's files, then the rest in list order.
    QList<qsizetype> downloadOrder() const;
    TransferItem queueItem(const DownloadItem& item) const;
    // The item's start line and its red line, for what cannot be queued.
    void reportFailure(const DownloadItem& item);
    void reportLeftUndone(qsizetype count);
    bool cancelled() const;

    // Changes into folderPath (a path ending in "/"), from where the server is if it is a
    // subfolder of that, else from "/" one level at a time; every step checked.
    bool changeToFolder(const QString& folderPath);
    // Runs step; when it failed because the connection is gone, re-connects and runs it once more.
    // A step starts by changing into the folder it needs.
    bool withConnection(const std::function<bool()>& step);
    bool restoreConnection();

    JobContext& m_context;
    RemoteOperations& m_session;
    DownloadRequest m_request;
    ConnectionSettings m_server; // the items' server, without the password
    QString m_startFolderPath; // the request's folder with "/" at its end; empty when not absolute
    QString m_serverFolder;    // where the server stands, ending in "/"; empty when not known
    bool m_gaveUp = false;      // the connection was lost and could not be made again
    bool m_walkStopped = false; // maxWalkEntries reached: no further folder is listed
    QList<DownloadItem> m_items;
    DownloadResult m_result;
};
