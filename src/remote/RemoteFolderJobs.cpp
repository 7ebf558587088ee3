#include "RemoteFolderJobs.h"

#include "FtpSession.h"

namespace RemoteFolderJobs {

namespace {

const QString root = QStringLiteral("/");

} // namespace

std::optional<QList<RemoteEntry>> readRemoteFolder(FtpSession& session)
{
    if (session.ftpCurrentDir().isEmpty())
        session.ftpSetDir(root);
    return session.ftpList();
}

RemoteFolderRead changeAndRead(FtpSession& session, const QString& changeTo, PathBoxUpdate update)
{
    RemoteFolderRead read;
    if (!session.isConnected())
        return read;
    if (!changeTo.isEmpty())
        session.ftpSetDir(changeTo);
    read.entries = readRemoteFolder(session);
    const bool needPath = update == PathBoxUpdate::Yes || !read.entries;
    if (needPath)
        read.currentDir = session.ftpCurrentDir();
    // A folder that cannot be listed still has a path; a server that answers neither is gone.
    read.connected = session.isConnected() && (read.entries || !read.currentDir.isEmpty());
    if (update == PathBoxUpdate::No)
        read.currentDir.clear();
    return read;
}

QString currentDir(FtpSession& session)
{
    if (!session.isConnected())
        return {};
    return session.ftpCurrentDir();
}

QStringList unreachablePaths(FtpSession& session, const QStringList& paths)
{
    QStringList gone;
    if (!session.isConnected())
        return gone;
    const QString start = session.ftpCurrentDir();
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
