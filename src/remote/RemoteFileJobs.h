#pragma once

#include "ConnectionSettings.h"
#include "RemoteCommandKeys.h"

#include <QDateTime>
#include <QString>

class JobContext;
class RemoteOperations;

// The server side of the commands on one remote entry; they run on the session thread. Each
// starts in folder, the folder the remote pane shows, and does nothing on the server when it
// cannot change into it. Names go to the server exactly as listed or typed; a typed name holding
// CR or LF is refused before anything is sent.
namespace RemoteFileJobs {

// What the server says of one file at one moment, to tell whether someone changed it since.
struct RemoteFileState {
    bool known = false;   // the server answered; false also for a check that never ran
    bool present = false; // the file is there
    qint64 size = 0;
    QDateTime lastWrite;

    bool operator==(const RemoteFileState&) const = default;
    // Both known, and not the same.
    bool differsFrom(const RemoteFileState& earlier) const { return known && earlier.known && *this != earlier; }
};

// The state of name in folder (absolute): the entry's facts where the server offers them (FTP:
// MLST), else the folder's listing.
RemoteFileState fileState(RemoteOperations& session, const QString& folder, const QString& name);

// The download for opening a file: into the private temporary folder (its subfolder when given),
// then the history lines of keys. localPath is empty when nothing arrived (the temporary folder
// could not be made, the row is a folder or "..", its name is not a plain file name, or the
// transfer failed). state is the file's state just before it was fetched, when watchState.
struct OpenDownload {
    QString localPath;
    RemoteFileState state;
};
struct OpenRequest {
    QString folder; // the folder the pane shows
    QString name;
    bool folderRow = false;
    QString subfolder; // of the private folder; empty: the private folder itself
    bool watchState = false;
};
OpenDownload downloadForOpening(JobContext& context, const OpenRequest& request, const char* startKey,
                                const char* okKey, const char* failedKey);

// CreateRemoteFolder: optionally re-connects first (the toolbar's variant), asks for the name,
// creates the folder and writes the lines of keys. True when the folder was made.
bool createFolder(JobContext& context, const QString& folder, const RemoteCommandKeys& keys,
                  const ConnectionSettings* reconnectWith);

// RenameRemoteEntry: asks for the new name of oldName and renames it. True when it was renamed.
bool renameEntry(JobContext& context, const QString& folder, const QString& oldName);

// Download-as: fetches remoteName into targetFolder (ending in "/") as newName, replacing a file
// there only once the whole file has arrived. True when it arrived.
bool downloadAs(JobContext& context, const QString& folder, const QString& remoteName, const QString& targetFolder,
                const QString& newName);

// A name typed by the user that cannot go on a command line.
bool holdsLineBreak(const QString& name);

} // namespace RemoteFileJobs
