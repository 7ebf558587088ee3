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

    // Downloads rows of the server's current folder into the local pane's current folder, with the
    // connection values settings for every re-connection on the way (DownloadSelection). Returns at
    // once; finished() follows when the job has ended and the local pane shows the target folder.
    void downloadSelection(const QList<SelectedRow>& rows, const ConnectionSettings& settings);

    // Lists folder in the local pane, rebuilds the tree of the drive whose root is driveRoot, and
    // opens and selects the folder's node.
    static void showTargetFolder(LocalPane& localPane, const QString& folder, const QString& driveRoot);

Q_SIGNALS:
    void finished(const DownloadResult& result);

private:
    SessionRunner& m_runner;
    LocalPane& m_localPane;
};
