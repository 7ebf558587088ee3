#pragma once

#include "EntryDrag.h"
#include "EntryListView.h"
#include "FileEntry.h"
#include "RemoteFolderJobs.h"
#include "RemoteRows.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class EntryListModel;
class JobRunner;
class QAction;
class QComboBox;
class QGroupBox;
class QToolBar;
class RemoteIconStore;
class TypeInfoProvider;
class ViewModeBar;

// The remote pane "frmServer": the server's current folder as rows ("..", folders, files, each
// group in server order), the path box of server folders visited, the command toolbar and the
// view toolbar. It browses by itself (double-click or Enter, the path box); the commands on its
// entries are RemoteActions', which also fill its command toolbar.
//
// Everything that talks to the server runs as a job of runner, so the pane never waits: a
// listing started here ends with listingFinished(). Jobs run in the order they were started.
// Without a connection, or when it is lost during a listing, the rows stay as they were.
class RemotePane : public QWidget
{
    Q_OBJECT

public:
    using ViewMode = EntryListView::Mode;

    // icons is the store of remote pictures that lives for the whole run (not owned); provider
    // names types and gives pictures (not owned; nullptr: the MIME database). The pane lists
    // nothing until it is asked to.
    RemotePane(JobRunner& runner, RemoteIconStore& icons, QWidget* parent = nullptr,
               TypeInfoProvider* provider = nullptr);
    ~RemotePane() override;

    // Sets every caption, header, tooltip and accessible text from the text catalogue.
    void retranslate();

    // RefreshRemote: lists the server's current folder into the rows and, when updatePathBox is
    // true, brings the path box up to date. Changes to "/" first when the server reports no
    // current folder.
    void refreshRemote(bool updatePathBox);
    // Changes into name (relative to the folder shown, or absolute; a failure is not reported and
    // lists the same folder) and lists it, updating the path box.
    void changeFolder(const QString& name);
    // UpdatePathBox: adds the server's current folder to the path box when it is new and selects
    // it (without running the path box's choice handler).
    void updatePathBox();
    // RemoveStalePaths: drops the path box entries that can no longer be entered, then returns
    // the server to its folder. Ends with stalePathsRemoved().
    void removeStalePaths();
    // Drops these entries from the path box (folders found gone).
    void removePaths(const QStringList& paths);
    // Removes every row (before a connect attempt); the path box stays.
    void clearRemote();

    // The path box's choice handler: changes to path (absolute) and lists, without touching the
    // path box. A path that cannot be entered lists the unchanged folder.
    void choosePath(const QString& path);
    // What a double-click or Enter on row does: ".." goes up, a folder row goes in, a link is
    // tried (the listing may not tell where it leads), a file row only brings the path box up to
    // date.
    void activateRow(int row);

    ViewMode viewMode() const;
    void setViewMode(ViewMode mode);
    // Adds the command buttons to the pane's command toolbar (in order).
    void addCommandButtons(const QList<QAction*>& buttons);

    // The server folder the rows show, as the server reported it; empty before the first listing.
    QString folder() const { return m_folder; }
    // Every row in list order; the first is always "..".
    const QList<FileEntry>& rows() const;
    // The selected rows, in list order.
    QList<FileEntry> selectedRows() const;
    // The current (focused) row; after a listing it is "..". nullopt without rows.
    std::optional<FileEntry> currentRow() const;
    // The current row's name, empty when there is none.
    QString currentName() const;
    // A listing or path job of this pane is under way.
    bool isBusy() const { return m_pendingJobs > 0; }

    // The path box's entries, in order.
    QStringList pathBoxEntries() const;
    // Names the types and gives the pictures of the rows.
    TypeInfoProvider& typeInfo() const { return m_provider; }

    QComboBox* pathBox() const { return m_pathBox; }
    EntryListView* listView() const { return m_list; }
    EntryListModel* model() const { return m_model; }
    QToolBar* commandBar() const { return m_commandBar; }
    ViewModeBar* viewBar() const { return m_viewBar; }

Q_SIGNALS:
    // Delete and F5 while the list has the focus.
    void deletePressed();
    void refreshPressed();
    // The right mouse button or the menu key on a row, at a global position.
    void contextMenuRequested(const QPoint& globalPos);
    // A listing started by the pane has ended: the rows show the server's folder, or, when there
    // was no connection, the rows shown before.
    void listingFinished();
    // The server's current folder was asked for the path box; path is empty when that failed.
    void pathBoxUpdated(const QString& path);
    // removeStalePaths() has ended; removed holds the entries it dropped.
    void stalePathsRemoved(const QStringList& removed);
    // Local rows (of the local pane, or files of the desktop's file manager, by folder) were
    // dropped onto the list: they are to be uploaded into the server folder folder.
    void localRowsDropped(const QList<DraggedRows>& groups, const QString& folder);

private:
    void createWidgets();
    void setTabOrderOfControls();
    void updateAccessibleNames();
    void setUpDragAndDrop();
    // The server folder a drop onto row goes to (-1: the folder shown).
    QString dropFolder(int row) const;

    void startListing(const QString& changeTo, bool updatePathBox);
    void showListing(const RemoteFolderRead& read, bool updatePathBox);
    void fillRows(const QList<RemoteEntry>& entries);
    void applyPathBox(const QString& path);
    void jobStarted();
    void jobEnded();

    JobRunner& m_runner;
    RemoteIconStore& m_icons;
    TypeInfoProvider& m_provider;
    std::unique_ptr<TypeInfoProvider> m_ownedProvider;

    QGroupBox* m_frame = nullptr;
    QToolBar* m_commandBar = nullptr;
    QComboBox* m_pathBox = nullptr;
    ViewModeBar* m_viewBar = nullptr;
    EntryListView* m_list = nullptr;
    EntryListModel* m_model = nullptr;

    QString m_folder;
    int m_pendingJobs = 0;
};
