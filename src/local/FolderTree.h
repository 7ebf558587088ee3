#pragma once

#include "CopyDropView.h"
#include "EntryDrag.h"
#include "EntryPresentation.h"

#include <QHash>
#include <QIcon>
#include <QString>
#include <QTreeWidget>

// The local pane's folder tree "trwPaths": one drive node and the folders below it. The tree
// holds one level of folders more than is open, so every folder with subfolders shows that it
// opens; a node is tagged "*" once its own subfolders are loaded. A node's key is its full path
// with a trailing "/", in the case the file system reports; keys are unique. Rows of the remote
// pane can be dropped onto a node: they are to be downloaded into its folder.
class FolderTree : public CopyDropView<QTreeWidget>
{
    Q_OBJECT

public:
    static constexpr int KeyRole = Qt::UserRole;     // a node's key
    static constexpr int TagRole = Qt::UserRole + 1; // "*" once its subfolders are loaded

    explicit FolderTree(QWidget* parent = nullptr);

    // Replaces the whole tree with the drive node of root, its folders and theirs, and selects
    // the drive node. mode orders the folders of every level read from now on.
    void readDrive(const QString& root, CompareMode mode = CompareMode::Text);
    // Adds the subfolders of root as child nodes of the node whose key is root; folders that
    // have a node already are left alone.
    void loadSubfolders(const QString& root);
    // The node of folder (ending in "/"), loading the levels down to it when the folder lies on
    // this drive; nullptr when there is no such folder.
    QTreeWidgetItem* nodeFor(const QString& folder);
    // Opens the tree along folder as the user would, every node from the drive down to folder's
    // own, so that each shows its subfolders; returns folder's node, or nullptr when there is none.
    QTreeWidgetItem* openAlong(const QString& folder);
    // Makes node the selected node without announcing it as the user's choice.
    void selectNode(QTreeWidgetItem* node);

    // The folder of the selected node, or of the drive node when none is selected.
    QString currentFolderPath() const;
    // The drive node, or nullptr before the first drive.
    QTreeWidgetItem* currentNode() const;
    QString driveRoot() const { return m_driveRoot; }

    static QString keyOf(const QTreeWidgetItem* node);

Q_SIGNALS:
    // The user selected the node of folder, with the mouse or the keyboard.
    void folderChosen(const QString& folder);
    // Rows of the remote pane were dropped onto the node of folder.
    void serverRowsDropped(const DraggedRows& rows, const QString& folder);

protected:
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    bool dropMimeData(QTreeWidgetItem* parent, int index, const QMimeData* data, Qt::DropAction action) override;

private:
    void onNodeExpanded(QTreeWidgetItem* node);
    void onCurrentNodeChanged(QTreeWidgetItem* node);
    void onNodeClicked(QTreeWidgetItem* node);
    QTreeWidgetItem* makeNode(const QString& key, const QString& text, const QIcon& icon);

    QIcon m_driveIcon;
    QIcon m_folderIcon;
    QHash<QString, QTreeWidgetItem*> m_nodes; // by key
    QString m_driveRoot;
    CompareMode m_mode = CompareMode::Text;
    bool m_programMovesSelection = false;
};
