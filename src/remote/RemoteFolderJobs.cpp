#include "RemoteFolderJobs.h"

#include "RemoteOperations.h"

namespace RemoteFolderJobs {

namespace {

const QString root = QStringLiteral("/");

} // namespace

RemoteFolderRead changeAndRead(RemoteOperations& session, const QString& base, const QString& changeTo)
{
    RemoteFolderRead read;
    if (!session.isConnected())
        return read;
    // After a re-connection the server stands in "/" while the pane still shows its folder. A
    // name relative to a folder that is gone would lead somewhere else: it is not tried then.
    const bool inBase = base.isEmpty() || session.setDir(base);
    if (!changeTo.isEmpty() && (inBase || changeTo.startsWith(QLatin1Char('/'))))
        session.setDir(changeTo);
    // The pane remembers the folder it shows: every later command starts from there.
    read.currentDir = session.currentDir();
    if (read.currentDir.isEmpty() && session.setDir(root))
        read.currentDir = session.currentDir();
    read.entries = session.list();
    read.unreadableLines = read.entries ? session.unreadableLines() : 0;
    // A folder that cannot be listed still has a path; a server that answers neither is gone.
    read.connected = session.isConnected() && (read.entries || !read.currentDir.isEmpty());
    return read;
}

QStringList unreachablePaths(RemoteOperations& session, const QStringList& paths, const QString& returnTo)
{
    QStringList gone;
    if (!session.isConnected())
        return gone;
    const QString start = returnTo.isEmpty() ? session.currentDir() : returnTo;
    for (const QString& path : paths) {
        if (path.isEmpty())
            continue;
        session.setDir(root);
        if (!session.setDir(path))
            gone.append(path);
    }
    // A server that no longer lets us into "/" has lost the connection, not the paths.
    if (!session.setDir(root))
        return {};
    if (!start.isEmpty())
        session.setDir(start);
    return gone;
}

} // namespace RemoteFolderJobs
