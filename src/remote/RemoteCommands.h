#pragma once

#include "EntryDrag.h"
#include "RemoteCommandKeys.h"
#include "SelectedRow.h"
#include "RemoteEnvironment.h"

#include <QObject>

class EditedCopies;
class JobRunner;
class RemotePane;
class QWidget;

// What the remote commands do. Each reads its inputs from the pane and the environment when it
// starts (the rows, the folder the pane shows, the connection values), runs the work that talks
// to the server as jobs, and brings the panes up to date when they have ended. Every command
// starts in the folder the pane shows, so the pane and the session never disagree.
class RemoteCommands : public QObject
{
    Q_OBJECT

public:
    RemoteCommands(RemotePane& pane, JobRunner& runner, RemoteEnvironment environment, QWidget* window);

    // DownloadSelection into the local pane's folder; the local pane shows it afterwards.
    void download();
    // The same download of rows dropped onto the local pane, into targetFolder (ending in "/").
    void downloadDropped(const DraggedRows& rows, const QString& targetFolder);
    // The current row under a new name into the local pane's folder, through frmDownloadAls.
    void downloadAs();
    // OpenRemoteFile with the menus' texts, and the toolbar's variant with the pane's.
    void open();
    void toolbarOpen();
    // OpenRemoteFileWith: the same download, then the user's choice of program.
    void openWith();
    void rename();
    // DeleteRemoteSelection after one question, then the listing and RemoveStalePaths.
    void deleteSelection();
    // CreateRemoteFolder with the menus' texts, and the toolbar's variant, which re-connects first.
    void newFolder();
    void toolbarNewFolder();
    void refresh();
    void up();

Q_SIGNALS:
    // A download has ended and the local pane shows its target folder.
    void downloadFinished();

private:
    void downloadRows(QList<SelectedRow> rows, const QString& remoteFolder, const QString& targetFolder);
    // Re-connects when the connection is gone and returns to the folder the pane shows.
    void reconnectToPaneFolder();
    // False, after the one-file message of keys, when more than one row is selected.
    bool singleSelection(const char* oneFileKey);
    void openRemoteFile(const RemoteCommandKeys& keys, bool chooseProgram);
    void openDownloaded(const QString& localPath, const QString& name, const RemoteCommandKeys& keys);
    void createFolder(const RemoteCommandKeys& keys, bool reconnectFirst);
    // The Yes/No question before a delete of count rows (the single row's path and kind when 1).
    bool confirmDelete(qsizetype count, const QString& path, bool isFolder);
    void appendHistory(const QString& text, HistoryColour colour);
    // The server path of a row of the folder the pane shows.
    QString remotePath(const QString& name) const;

    RemotePane& m_pane;
    JobRunner& m_runner;
    RemoteEnvironment m_environment;
    QWidget* m_window;
    EditedCopies* m_edits = nullptr; // watches opened copies, when they can be sent back
};
