#pragma once

#include "RemoteEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class RemoteOperations;

// What one listing brought back from the server, as plain values for the GUI thread.
struct RemoteFolderRead {
    // False when there was no connection, or it was lost during the listing: the rows stay as
    // they are, since nothing on the server could be read.
    bool connected = false;
    // The entries in server order; nullopt when the folder could not be listed.
    std::optional<QList<RemoteEntry>> entries;
    // Lines of the listing that no parser could read, left out of entries.
    qsizetype unreadableLines = 0;
    // The server's current folder after the listing; empty when the query failed.
    QString currentDir;
};

// The steps of the remote listing that talk to the server; they run on the session thread.
namespace RemoteFolderJobs {

// ReadRemoteFolder: changes into base, the folder the pane shows (unless it is empty; when it is
// gone the server's current folder is listed), then into changeTo (unless it is empty; a failure
// is not reported, the folder stays), and lists the current folder - the root when the server
// reports none.
RemoteFolderRead changeAndRead(RemoteOperations& session, const QString& base, const QString& changeTo);

// The paths among paths that can no longer be entered from "/" (RemoveStalePaths). Returns to
// returnTo afterwards (the server's current folder when empty). Every path that fails, for any
// reason, counts as gone, unless "/" itself can no longer be entered: then the connection is at
// fault and nothing is gone.
QStringList unreachablePaths(RemoteOperations& session, const QStringList& paths, const QString& returnTo = {});

} // namespace RemoteFolderJobs
