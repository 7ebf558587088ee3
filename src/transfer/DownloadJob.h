#pragma once

#include "DownloadItem.h"
#include "RemoteOperations.h"
#include "RetryPolicy.h"
#include "SelectedRow.h"

#include <QList>
#include <QString>

#include <functional>
#include <set>
#include <utility>

class JobContext;

// What a download needs, read on the GUI thread when the command starts.
struct DownloadRequest {
    QList<SelectedRow> rows;      // in list order; ".." is skipped
    QString remoteFolder;         // the absolute server folder the remote pane shows, holding the rows
    QString targetFolder;         // local folder, ending in "/"
    ConnectionSettings settings;  // for a re-connection of this download
    qsizetype maxWalkEntries = walkEntryLimit; // the walk stops past this many items
    RetrySettings retry{};        // how a file whose transfer failed is tried again
};

// What the GUI needs when the download has ended.
struct DownloadResult {
    QString targetFolder; // the folder the local pane is to show
    int filesFetched = 0;
    int filesFailed = 0;   // refused files, and those left undone, included
    int foldersFailed = 0; // refused, their contents could not be listed, or left undone
};

// Downloads the selected files of a server folder and whole folder trees below it into a local
// folder, on the session thread. Files of the selected folder come first, then each folder tree in
// the order the walk found it. Every step is reported as history lines; a failing item gets its
// red line and the download goes on with the next.
//
// The job starts by changing into the folder the request names, checked: if it cannot be entered,
// every selected item gets its red line and nothing is fetched. Names are sent and used exactly as
// listed. Names from the server never become paths outside the target folder: an item whose name
// or folder path is not a usable local name is refused with its red line, and no item replaces a
// local file that an earlier item of the same download wrote. A failed change of server folder
// fails the item instead of fetching a same-named file elsewhere. The walk does not follow links to
// folders and stops at maxWalkDepth levels, so a server folder that loops cannot make a download
// endless; it also stops, with a red line, past maxWalkEntries items, so a server that invents
// folders cannot exhaust memory. A folder not listed then gets its red line.
//
// The connection is used as long as it works. A file whose transfer breaks is tried again as the
// request's retry settings say, each time on a new connection, going on from its partial file
// (RetryingDownload). When the connection is lost between files, the job re-connects once,
// returns to the folder it needs and goes on; if that fails, the no-connection message is shown
// once, one red line tells what was left undone, and the job ends.
class DownloadJob
{
public:
    static constexpr int maxWalkDepth = 64;

    DownloadJob(JobContext& context, DownloadRequest request);

    // Runs the whole download (DownloadSelection); the job is used once.
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
    void downloadStartFolderFile(const DownloadItem& item);
    void downloadFolderItem(const DownloadItem& item);
    bool createLocalFolders(const QStringList& names);
    // True when the file arrived.
    bool fetch(const QString& announced, const QString& folderPath, const QString& localPath, const DownloadItem& item);
    // The item's start line and its red line, without touching the server or the disk.
    void reportFailure(const DownloadItem& item, const QString& announced);
    void reportLeftUndone(const QList<qsizetype>& left);
    void fileHandled();
    bool cancelled() const;

    // Changes into folderPath (a path ending in "/"), from where the server is if it is a
    // subfolder of that, else from "/" one level at a time; every step checked.
    bool changeToFolder(const QString& folderPath);
    // Runs step; when it failed because the connection is gone, re-connects and runs it once more.
    // A step starts by changing into the folder it needs.
    bool withConnection(const std::function<bool()>& step);
    bool restoreConnection();
    // A new connection for the retry of a file, into folderPath; asks nothing when it fails.
    bool reconnectForRetry(const QString& folderPath);

    bool isWrittenByThisJob(const QString& localPath) const;
    void rememberWritten(const QString& localPath);

    JobContext& m_context;
    RemoteOperations& m_session;
    DownloadRequest m_request;
    QString m_startFolderPath; // the request's folder with "/" at its end; empty when not absolute
    QString m_serverFolder;    // where the server stands, ending in "/"; empty when not known
    bool m_inStartFolder = false;
    bool m_gaveUp = false;      // the connection was lost and could not be made again
    bool m_walkStopped = false; // maxWalkEntries reached: no further folder is listed
    QList<DownloadItem> m_items;
    DownloadResult m_result;
    qint64 m_filesToDo = 0;
    qint64 m_filesDone = 0;
    std::set<std::pair<quint64, quint64>> m_written; // device and inode of the files this job wrote
};
