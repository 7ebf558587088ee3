#include "FolderTree.h"

#include "LocalFolderReader.h"
#include "WaitCursor.h"

#include <QMimeData>
#include <QStyle>
#include <QTimer>

#include <utility>

namespace {

const QString loadedTag = QStringLiteral("*");

// How the tree writes a drive: its root path, without the trailing "/" unless it is "/".
QString driveText(const QString& root)
{
    return root.size() > 1 && root.endsWith(QLatin1Char('/')) ? root.chopped(1) : root;
}

// A folder picture that opens when its node is selected.
QIcon folderIcon(const QStyle* style)
{
    const QIcon closed = style->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon open = style->standardIcon(QStyle::SP_DirOpenIcon);
    QIcon icon;
    for (const int size : {16, 22, 32}) {
        icon.addPixmap(closed.pixmap(size), QIcon::Normal);
        icon.addPixmap(open.pixmap(size), QIcon::Selected);
    }
    return icon;
}

} // namespace

FolderTree::FolderTree(QWidget* parent)
    : CopyDropView<QTreeWidget>(parent)
    , m_driveIcon(style()->standardIcon(QStyle::SP_DriveHDIcon))
    , m_folderIcon(folderIcon(style()))
{
    setObjectName(QStringLiteral("trwPaths"));
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    // A drop goes into the folder of the node under the pointer, never between nodes.
    setDragDropOverwriteMode(true);
    connect(this, &QTreeWidget::itemExpanded, this, &FolderTree::onNodeExpanded);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { onCurrentNodeChanged(current); });
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node) { onNodeClicked(node); });
}

QString FolderTree::keyOf(const QTreeWidgetItem* node)
{
    return node->data(0, KeyRole).toString();
}

QTreeWidgetItem* FolderTree::makeNode(const QString& key, const QString& text, const QIcon& icon)
{
    auto* node = new QTreeWidgetItem;
    node->setText(0, text);
    node->setIcon(0, icon);
    node->setData(0, KeyRole, key);
    m_nodes.insert(key, node);
    return node;
}

void FolderTree::readDrive(const QString& root, CompareMode mode)
{
    const bool wasMoving = std::exchange(m_programMovesSelection, true);
    m_driveRoot = withTrailingSlash(root);
    m_mode = mode;
    clear();
    m_nodes.clear();
    QTreeWidgetItem* drive = makeNode(m_driveRoot, driveText(m_driveRoot), m_driveIcon);
    addTopLevelItem(drive);
    loadSubfolders(m_driveRoot);
    drive->setExpanded(true);
    setCurrentItem(drive);
    m_programMovesSelection = wasMoving;
}

void FolderTree::loadSubfolders(const QString& root)
{
    const QString parentKey = withTrailingSlash(root);
    QTreeWidgetItem* parent = m_nodes.value(parentKey);
    if (!parent)
        return;
    QList<QTreeWidgetItem*> children;
    for (const QString& name : subfolderNames(parentKey, m_mode)) {
        const QString key = parentKey + name + QLatin1Char('/');
        if (!m_nodes.contains(key))
            children.append(makeNode(key, name, m_folderIcon));
    }
    // One insertion for all children keeps folders with thousands of subfolders quick.
    parent->addChildren(children);
}

void FolderTree::onNodeExpanded(QTreeWidgetItem* node)
{
    WaitCursor wait;
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (child->data(0, TagRole).toString() == loadedTag)
            continue;
        loadSubfolders(keyOf(child));
        child->setData(0, TagRole, loadedTag);
    }
}

QTreeWidgetItem* FolderTree::nodeFor(const QString& folder)
{
    if (QTreeWidgetItem* node = m_nodes.value(folder))
        return node;
    if (!folder.startsWith(m_driveRoot))
        return nullptr;
    // Load the levels down to the folder. This also finds folders made since their parent's
    // level was read.
    QTreeWidgetItem* node = m_nodes.value(m_driveRoot);
    QString key = m_driveRoot;
    const QStringList parts = folder.mid(m_driveRoot.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (!node)
            return nullptr;
        key += part + QLatin1Char('/');
        QTreeWidgetItem* child = m_nodes.value(key);
        if (!child) {
            loadSubfolders(keyOf(node));
            child = m_nodes.value(key);
        }
        node = child;
    }
    return node;
}

QTreeWidgetItem* FolderTree::openAlong(const QString& folder)
{
    QTreeWidgetItem* node = nodeFor(folder);
    QList<QTreeWidgetItem*> way;
    for (QTreeWidgetItem* step = node; step; step = step->parent())
        way.prepend(step);
    // Expanding a node loads the subfolders of its children.
    for (QTreeWidgetItem* step : way)
        step->setExpanded(true);
    return node;
}

void FolderTree::selectNode(QTreeWidgetItem* node)
{
    const bool wasMoving = std::exchange(m_programMovesSelection, true);
    setCurrentItem(node);
    scrollToItem(node);
    m_programMovesSelection = wasMoving;
}

QTreeWidgetItem* FolderTree::currentNode() const
{
    if (QTreeWidgetItem* node = currentItem())
        return node;
    return topLevelItem(0);
}

QString FolderTree::currentFolderPath() const
{
    const QTreeWidgetItem* node = currentNode();
    return node ? keyOf(node) : m_driveRoot;
}

void FolderTree::onCurrentNodeChanged(QTreeWidgetItem* node)
{
    // The list follows every node the user reaches, so that the tree's folder, which the
    // commands act on, and the folder shown never differ.
    if (m_programMovesSelection || !node)
        return;
    Q_EMIT folderChosen(keyOf(node));
}

void FolderTree::onNodeClicked(QTreeWidgetItem* node)
{
    // A click also opens the node one level, as choosing its folder in the path box does.
    if (node && node == currentItem())
        node->setExpanded(true);
}

QStringList FolderTree::mimeTypes() const
{
    return {EntryDrag::serverRowsType};
}

Qt::DropActions FolderTree::supportedDropActions() const
{
    // Taken as a copy whatever is proposed (CopyDropView).
    return Qt::CopyAction | Qt::MoveAction;
}

void FolderTree::dragMoveEvent(QDragMoveEvent* event)
{
    CopyDropView<QTreeWidget>::dragMoveEvent(event);
    if (event->isAccepted()
        && (!itemAt(event->position().toPoint()) || EntryDrag::droppable(ListSide::Local, *event->mimeData()).isEmpty()))
        event->ignore();
}

bool FolderTree::dropMimeData(QTreeWidgetItem* parent, int, const QMimeData* dragged, Qt::DropAction)
{
    const QList<DraggedRows> dropped = dragged ? EntryDrag::droppable(ListSide::Local, *dragged) : QList<DraggedRows>{};
    if (!parent || dropped.isEmpty())
        return false;
    // The download starts once the drop is over: it may ask questions, and the source waits for
    // the drop to end.
    QTimer::singleShot(0, this, [this, rows = dropped.first(), folder = keyOf(parent)] {
        Q_EMIT serverRowsDropped(rows, folder);
    });
    return true;
}
