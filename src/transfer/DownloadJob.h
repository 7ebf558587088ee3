#pragma once

#include "DownloadItem.h"
#include "FtpOperations.h"
#include "SelectedRow.h"

#include <QList>
#include <QString>

class JobContext;

// What a download needs, read on the GUI thread when the command starts.
struct DownloadRequest {
    QList<SelectedRow> rows;      // in list order; ".." is skipped
    QString remoteFolder;         // the server folder the rows belong to; empty: the current one
    QString targetFolder;         // local folder, ending in "/"
    ConnectionSettings settings;  // for every re-connection of this download
};

// What the GUI needs when the download has ended.
struct DownloadResult {
    QString targetFolder; // the folder the local pane is to show
    int filesFetched = 0;
    int filesFailed = 0;   // refused files included
    int foldersFailed = 0; // refused, or their contents could not be listed
};

// Downloads the selected files of the server's current folder and whole folder trees below it into
// a local folder, on the session thread. Files of the current folder come first, then each folder
// tree in the order the walk found it. Every step is reported as history lines; a failing item gets
// its red line and the download goes on with the next.
//
// Names from the server never become paths outside the target folder: an item whose name or folder
// path is not a usable local name is refused with its red line. A failed change of server folder
// fails the item instead of fetching a same-named file elsewhere. The walk does not follow links
// to folders and stops at maxWalkDepth levels, so a server folder that loops cannot make a
// download endless.
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
    bool changeToFolder(const QStringList& names);
    void downloadStartFolderFiles(bool inStartFolder);
    void downloadFolderItem(const DownloadItem& item);
    bool createLocalFolders(const QStringList& names);
    // True when the file arrived.
    bool fetch(const QString& announced, const QString& localPath, const QString& remoteName);
    // Returns the server to the start folder if a file's folder was entered.
    void leaveFolder();
    // The item's start line and its red line, without touching the server or the disk.
    void reportFailure(const DownloadItem& item, const QString& announced);
    void fileHandled();
    bool cancelled() const;

    JobContext& m_context;
    FtpOperations& m_session;
    DownloadRequest m_request;
    QString m_startFolder;     // as the server reported it
    QString m_startFolderPath; // with "/" at its end
    QString m_serverFolder;    // the folder tree item's folder the server is in; empty: the start folder
    QList<DownloadItem> m_items;
    DownloadResult m_result;
    qint64 m_filesToDo = 0;
    qint64 m_filesDone = 0;
};
