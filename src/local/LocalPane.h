#pragma once

#include "EntryDrag.h"
#include "EntryListView.h"
#include "EntryPresentation.h"
#include "FileEntry.h"

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class EntryListModel;
class FolderTree;
class QAction;
class QComboBox;
class QGroupBox;
class QToolBar;
class TypeInfoProvider;
class ViewModeBar;

// The local pane "frmLocal": the drive list, the folder tree of the chosen drive, the path box
// of folders visited, and the list of the current folder. It lists folders and moves between
// them; the commands on its entries are LocalActions', which also fill its command toolbar.
//
// Paths use "/" and keep their case; a folder path used for listing ends in "/".
class LocalPane : public QWidget
{
    Q_OBJECT

public:
    // The four ways the list shows its rows (view toolbar "eins" to "vier").
    using ViewMode = EntryListView::Mode;

    // provider names the types and gives the pictures (not owned; nullptr: the MIME database).
    // The pane starts on the first drive, the home folder, in the details view.
    explicit LocalPane(QWidget* parent = nullptr, TypeInfoProvider* provider = nullptr);
    ~LocalPane() override;

    // Sets every caption, header, tooltip and accessible name from the text catalogue.
    void retranslate();

    // The folder of the selected tree node (the drive node when none is selected), ending in "/".
    QString currentFolderPath() const;
    // The folder the list shows, ending in "/"; empty before the first listing.
    QString listedFolder() const { return m_listedFolder; }
    // The root of the drive whose tree is shown, ending in "/".
    QString driveRoot() const;

    // Lists folder in the list (ViewFolder): the local pane's own order, text mode and local
    // attribute letters. A folder that cannot be read lists empty.
    void viewFolder(const QString& folder);
    // Lists folder with the order and attribute letters of another command's listing.
    void viewFolder(const QString& folder, CompareMode mode, AttributeOrder order);
    // Lists the folder of the selected tree node again.
    void refreshLocal();
    // Shows folder after a command wrote into it: the tree of the drive is read again and opened
    // down to the folder's node, and the folder is listed (also when it lies off this drive).
    void showFolder(const QString& folder);
    // Rebuilds the tree of the drive after a command changed folders, in the mode's order, opens
    // it along folder and selects folder's node (without listing it).
    void rebuildTree(const QString& folder, CompareMode mode);
    // Rebuilds the whole tree for the drive root: its node, its folders and theirs.
    void readDrive(const QString& root, CompareMode mode = CompareMode::Text);
    // Adds the subfolders of root as child nodes of the node whose key is root.
    void loadSubfolders(const QString& root);
    // Switches to the drive root (a change of drive): rebuilds the tree, resets the path box and
    // lists the root. A drive that cannot be read shows a message and changes nothing.
    void changeDrive(const QString& root);
    // Reads the available drives into the drive list again.
    void refreshDrives();
    // Chooses text in the path box as the user does: selects its tree node and lists the folder.
    void choosePath(const QString& text);
    // Drops the path box entries whose folders no longer exist.
    void removeMissingPathBoxEntries();

    ViewMode viewMode() const;
    void setViewMode(ViewMode mode);
    // Adds the command buttons to the pane's command toolbar (in order).
    void addCommandButtons(const QList<QAction*>& buttons);

    // The entries of the folder listed, in row order.
    const QList<FileEntry>& entries() const;
    // The names of the selected rows, in row order.
    QStringList selectedNames() const;
    // The selected entries, in row order.
    QList<FileEntry> selectedEntries() const;
    // The name of the current row of the list, empty when there is none.
    QString currentName() const;
    // The entry of the current row of the list.
    std::optional<FileEntry> currentEntry() const;

    EntryListView* listView() const { return m_list; }
    EntryListModel* model() const { return m_model; }
    QToolBar* commandBar() const { return m_commandBar; }
    ViewModeBar* viewBar() const { return m_viewBar; }

Q_SIGNALS:
    // Delete and F5 while the list has the focus.
    void deletePressed();
    void refreshPressed();
    // The right mouse button or the menu key in the list, at a global position.
    void contextMenuRequested(const QPoint& globalPos);
    // The list now shows folder (ending in "/").
    void folderListed(const QString& folder);
    // Rows of the remote pane were dropped onto the list or a node of the tree: they are to be
    // downloaded into folder (ending in "/").
    void serverRowsDropped(const DraggedRows& rows, const QString& folder);

private:
    void createWidgets();
    void addButton(QToolBar* bar, QAction* action);
    void connectSignals();
    void setTabOrderOfControls();
    void updateAccessibleNames();

    void addToPathBox(const QString& text);
    void selectDriveInList(const QString& root);
    void onFolderChosen(const QString& folder);
    void onRowActivated(int row);
    void onDriveChosen(int index);
    void setUpDragAndDrop();
    // The folder a drop onto row of the list goes to (-1: the folder listed); empty: none.
    QString dropFolder(int row) const;

    TypeInfoProvider& m_provider;
    std::unique_ptr<TypeInfoProvider> m_ownedProvider;

    QGroupBox* m_frame = nullptr;
    QComboBox* m_drives = nullptr;
    QToolBar* m_driveBar = nullptr;
    QComboBox* m_pathBox = nullptr;
    QAction* m_driveRefresh = nullptr;
    QToolBar* m_commandBar = nullptr;
    FolderTree* m_tree = nullptr;
    EntryListView* m_list = nullptr;
    ViewModeBar* m_viewBar = nullptr;
    EntryListModel* m_model = nullptr;

    QIcon m_driveIcon;
    QString m_listedFolder;
};
