#pragma once

#include "RemoteEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class FtpSession;

// Whether a listing also asks for the server's current folder, for the path box.
enum class PathBoxUpdate { No, Yes };

// What one listing brought back from the server, as plain values for the GUI thread.
struct RemoteFolderRead {
    // False when there was no connection, or it was lost during the listing: the rows stay as
    // they are, since nothing on the server could be read.
    bool connected = false;
    // The entries in server order; nullopt when the folder could not be listed.
    std::optional<QList<RemoteEntry>> entries;
    // The server's current folder when asked for; empty when the query failed.
    QString currentDir;
};

// The steps of the remote listing that talk to the server; they run on the session thread.
namespace RemoteFolderJobs {

// ReadRemoteFolder: lists the current folder, first changing to "/" when the server reports no
// current folder.
std::optional<QList<RemoteEntry>> readRemoteFolder(FtpSession& session);

// Changes to changeTo (unless it is empty; a failure is not reported, the folder stays), lists
// the current folder and, when asked, its path.
RemoteFolderRead changeAndRead(FtpSession& session, const QString& changeTo, PathBoxUpdate update);

// The server's current folder; empty when the query fails or there is no connection.
QString currentDir(FtpSession& session);

// The paths among paths that can no longer be entered from "/" (RemoveStalePaths). Returns to
// the current folder afterwards. Every path that fails, for any reason, counts as gone, unless
// "/" itself can no longer be entered: then the connection is at fault and nothing is gone.
QStringList unreachablePaths(FtpSession& session, const QStringList& paths);

} // namespace RemoteFolderJobs
