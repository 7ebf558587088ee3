#pragma once

#include "DownloadJob.h"

#include <QObject>

class LocalPane;
class SessionRunner;

// The download command on the GUI side: reads the target folder from the local pane when the
// command starts, runs the download on the session thread and, when it has ended, shows the target
// folder in the local pane. The callers add their own guard and re-connection around it.
class DownloadCommand : public QObject
{
    Q_OBJECT

public:
    DownloadCommand(SessionRunner& runner, LocalPane& localPane, QObject* parent = nullptr);

    // Downloads rows of remoteFolder (the absolute server folder the remote pane shows) into the
    // local pane's current folder, with the connection values settings for a re-connection on the
    // way (DownloadSelection). Returns at once; finished() follows when the job has ended and the
    // local pane shows the target folder. Without remoteFolder, the server's current folder when
    // the job starts stands in for it.
    void downloadSelection(const QList<SelectedRow>& rows, const ConnectionSettings& settings,
                           const QString& remoteFolder = {});

    // Lists folder in the local pane, rebuilds the tree of the drive whose root is driveRoot, and
    // opens and selects the folder's node.
    static void showTargetFolder(LocalPane& localPane, const QString& folder, const QString& driveRoot);

Q_SIGNALS:
    void finished(const DownloadResult& result);

private:
    SessionRunner& m_runner;
    LocalPane& m_localPane;
};
