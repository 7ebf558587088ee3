#pragma once

#include "ConnectionSettings.h"
#include "RemoteCommandKeys.h"

#include <QString>

class JobContext;

// The server side of the commands on one remote entry; they run on the session thread. Each
// starts in folder, the folder the remote pane shows, and does nothing on the server when it
// cannot change into it. Names go to the server exactly as listed or typed; a typed name holding
// CR or LF is refused before anything is sent.
namespace RemoteFileJobs {

// The download for opening a file: into the private temporary folder, then the history lines
// of keys. localPath is empty when nothing arrived (the temporary folder could not be made, the
// row is a folder or "..", its name is not a plain file name, or the transfer failed).
struct OpenDownload {
    QString localPath;
};
OpenDownload downloadForOpening(JobContext& context, const QString& folder, const QString& name, bool folderRow,
                                const char* startKey, const char* okKey, const char* failedKey);

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
