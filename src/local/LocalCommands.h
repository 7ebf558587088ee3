#pragma once

#include "HistoryColour.h"
#include "LocalEnvironment.h"
#include "LocalWorker.h"

#include <QObject>

class JobRunner;
class LocalPane;
class QWidget;
class UploadCommands;

// What the local commands do. Each reads its inputs from the pane when it starts (the folder the
// list shows, the selected rows) and shows its result in the pane. Where the places that start
// a command differ in the listing they end with, each has its own handler: the context menu's
// commands list in code order without the folder letter, the pane's own listing is the one of
// the toolbar and the main menu.
class LocalCommands : public QObject
{
    Q_OBJECT

public:
    LocalCommands(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window);

    // The current row with the program registered for its type (OpenLocalFile); without one the
    // user is asked whether to choose a program.
    void open();
    // The current row with a program the user chooses.
    void openWith();
    // The desktop's properties view of the current row, or ours.
    void showProperties();
    void refresh();
    void refreshFromMenu();
    // A new folder in the folder shown: the context menu's and the main menu's, and the toolbar's.
    void newFolder();
    void toolbarNewFolder();
    // The selected entry under a new name: the context menu's, and the main menu's.
    void rename();
    void mainMenuRename();
    // Deletes the selected entries for good after one question; every place runs this one. The
    // work runs off the GUI thread; afterwards the tree is rebuilt, the folder listed again and
    // the path box loses the folders that are gone.
    void deleteSelection();

    // The uploads (UploadCommands): the main menu's and the toolbar's, the context menu's, and
    // one file under a new name.
    void upload();
    void uploadFromMenu();
    void uploadAs();
    UploadCommands& uploads() const { return *m_uploads; }

Q_SIGNALS:
    // Local work off the GUI thread reports its progress, and ends.
    void progressChanged(qint64 done, qint64 total);
    void workFinished();
    // A delete has ended and the pane shows its result.
    void deleteFinished();

private:
    // How a command lists the folder when it ends.
    enum class Listing { ContextMenu, Pane };

    void createFolder(Listing listing);
    void renameEntry(Listing listing);
    void finishDelete();
    void list(const QString& folder, Listing listing);
    // The folder whose rows the list shows: the rows a command acts on are there.
    QString rowFolder() const;
    void appendHistory(const QString& text, HistoryColour colour = HistoryColour::Black);

    LocalPane& m_pane;
    JobRunner& m_runner;
    LocalEnvironment m_environment;
    QWidget* m_window;
    UploadCommands* m_uploads;
    // Last, so that it stops its work before anything else goes.
    LocalWorker m_worker;
};
