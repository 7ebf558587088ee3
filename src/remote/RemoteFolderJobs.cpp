#include "RemoteFolderJobs.h"

#include "FtpOperations.h"

namespace RemoteFolderJobs {

namespace {

const QString root = QStringLiteral("/");

} // namespace

RemoteFolderRead changeAndRead(FtpOperations& session, const QString& base, const QString& changeTo)
{
    RemoteFolderRead read;
    if (!session.isConnected())
        return read;
    // After a re-connection the server stands in "/" while the pane still shows its folder. A
    // name relative to a folder that is gone would lead somewhere else: it is not tried then.
    const bool inBase = base.isEmpty() || session.ftpSetDir(base);
    if (!changeTo.isEmpty() && (inBase || changeTo.startsWith(QLatin1Char('/'))))
        session.ftpSetDir(changeTo);
    // The pane remembers the folder it shows: every later command starts from there.
    read.currentDir = session.ftpCurrentDir();
    if (read.currentDir.isEmpty() && session.ftpSetDir(root))
        read.currentDir = session.ftpCurrentDir();
    read.entries = session.ftpList();
    read.unreadableLines = read.entries ? session.unreadableLines() : 0;
    // A folder that cannot be listed still has a path; a server that answers neither is gone.
    read.connected = session.isConnected() && (read.entries || !read.currentDir.isEmpty());
    return read;
}

QStringList unreachablePaths(FtpOperations& session, const QStringList& paths, const QString& returnTo)
{
    QStringList gone;
    if (!session.isConnected())
        return gone;
    const QString start = returnTo.isEmpty() ? session.ftpCurrentDir() : returnTo;
    for (const QString& path : paths) {
        if (path.isEmpty())
            continue;
        session.ftpSetDir(root);
        if (!session.ftpSetDir(path))
            gone.append(path);
    }
    // A server that no longer lets us into "/" has lost the connection, not the paths.
    if (!session.ftpSetDir(root))
        return {};
    if (!start.isEmpty())
        session.ftpSetDir(start);
    return gone;
}

} // namespace RemoteFolderJobs
