#pragma once

#include "EntryPresentation.h"
#include "RemoteFolderJobs.h"
#include "RemoteListingEntry.h"

#include <QHash>
#include <QSet>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class EntryListModel;
class QAction;
class QComboBox;
class QGroupBox;
class QListView;
class QModelIndex;
class QStackedWidget;
class QToolBar;
class QTreeView;
class RemoteIconStore;
class SessionRunner;
class TypeInfoProvider;

// The remote pane "frmServer": the server's current folder as rows ("..", folders, files, each
// group in server order), the path box of server folders visited, the command toolbar and the
// view toolbar. It browses by itself (double-click or Enter, the Up button, the path box, F5);
// the commands that change the server are signalled for their owners to carry out.
//
// Everything that talks to the server runs as a job of runner, so the pane never waits: a
// listing started here ends with listingFinished(). Jobs run in the order they were started.
// Without a connection, or when it is lost during a listing, the rows stay as they were.
class RemotePane : public QWidget
{
    Q_OBJECT

public:
    // The four ways the list shows its rows (view toolbar "eins" to "vier").
    enum class ViewMode { LargeIcons, SmallIcons, List, Details };

    // icons is the store of remote pictures that lives for the whole run (not owned); provider
    // names types and gives pictures (not owned; nullptr: the MIME database). The pane lists
    // nothing until it is asked to.
    RemotePane(SessionRunner& runner, RemoteIconStore& icons, QWidget* parent = nullptr,
               TypeInfoProvider* provider = nullptr);
    ~RemotePane() override;

    // Sets every caption, header, tooltip and accessible name from the text catalogue.
    void retranslate();

    // RefreshRemote: lists the server's current folder into the rows and, when updatePathBox is
    // true, brings the path box up to date. Changes to "/" first when the server reports no
    // current folder.
    void refreshRemote(bool updatePathBox);
    // UpdatePathBox: adds the server's current folder to the path box when it is new and selects
    // it (without running the path box's choice handler).
    void updatePathBox();
    // RemoveStalePaths: drops the path box entries that can no longer be entered, then returns
    // the server to its folder. Ends with stalePathsRemoved().
    void removeStalePaths();
    // Removes every row (before a connect attempt); the path box stays.
    void clearRemote();

    // The path box's choice handler: changes to path (absolute) and lists, without touching the
    // path box. A path that cannot be entered lists the unchanged folder.
    void choosePath(const QString& path);
    // What a double-click or Enter on row does: ".." goes up, a folder row goes in, a file row
    // only brings the path box up to date.
    void activateRow(int row);

    ViewMode viewMode() const { return m_viewMode; }
    void setViewMode(ViewMode mode);

    // RemoteListing of the last listing, in server order.
    const RemoteListing& listing() const { return m_listing; }
    // Every row in list order; the first is always "..", a row with an empty size text is a
    // folder (or ".."), a row's name is relative to the server's current folder.
    const QList<EntryRow>& rows() const;
    // The selected rows, in list order.
    QList<EntryRow> selectedRows() const;
    // The current (focused) row; after a listing it is "..". nullopt without rows.
    std::optional<EntryRow> currentRow() const;
    // The current row's name, empty when there is none.
    QString currentName() const;
    // A listing or path job of this pane is under way.
    bool isBusy() const { return m_pendingJobs > 0; }

    QComboBox* pathBox() const { return m_pathBox; }
    QTreeView* detailView() const { return m_detailView; }
    QListView* iconView() const { return m_iconView; }
    EntryListModel* model() const { return m_model; }
    // A toolbar action by its button key: "del", "open", "new", "oben", "actualize", "download",
    // "eins", "zwei", "drei", "vier".
    QAction* action(const QString& key) const { return m_actions.value(key); }

Q_SIGNALS:
    // The commands of the toolbar and keys that belong to other owners. The toolbar has checked
    // the connection first; the Delete key has not.
    void deleteRequested();
    void openRequested();
    void newFolderRequested();
    void downloadRequested();
    // The right mouse button or the menu key on a row, at a global position.
    void contextMenuRequested(const QPoint& globalPos);
    // A listing started by the pane has ended: the rows show the server's folder, or, when there
    // was no connection, the rows shown before.
    void listingFinished();
    // The server's current folder was asked for the path box; path is empty when that failed.
    void pathBoxUpdated(const QString& path);
    // removeStalePaths() has ended; removed holds the entries it dropped.
    void stalePathsRemoved(const QStringList& removed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createWidgets();
    void createToolBars();
    void connectSignals();
    void setTabOrderOfControls();
    void updateIconViewMode();

    void runCommand(const QString& key);
    void startListing(const QString& changeTo, PathBoxUpdate update);
    void showListing(const RemoteFolderRead& read, PathBoxUpdate update);
    void fillRows(const QList<RemoteEntry>& entries);
    void applyPathBox(const QString& path);
    void jobStarted();
    void jobEnded();

    SessionRunner& m_runner;
    RemoteIconStore& m_icons;
    TypeInfoProvider& m_provider;
    std::unique_ptr<TypeInfoProvider> m_ownedProvider;

    QGroupBox* m_frame = nullptr;
    QToolBar* m_commandBar = nullptr;
    QComboBox* m_pathBox = nullptr;
    QToolBar* m_viewBar = nullptr;
    QStackedWidget* m_views = nullptr;
    QTreeView* m_detailView = nullptr;
    QListView* m_iconView = nullptr;
    EntryListModel* m_model = nullptr;
    QHash<QString, QAction*> m_actions; // by button key

    RemoteListing m_listing;
    // Links the listing could not tell from files; activating one tries to enter it.
    QSet<QString> m_linkNames;
    ViewMode m_viewMode = ViewMode::Details;
    int m_pendingJobs = 0;
};
