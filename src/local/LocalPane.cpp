#include "LocalPane.h"

#include "EntryListModel.h"
#include "LocalFolderReader.h"
#include "MimeTypeInfoProvider.h"
#include "DriveList.h"
#include "Prompter.h"
#include "TextCatalogue.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int keyRole = Qt::UserRole;     // a node's key: its full path, ending in "/"
constexpr int tagRole = Qt::UserRole + 1; // "*" once the node's own subfolders are loaded
const QString loadedTag = QStringLiteral("*");

// The column widths of the list, in pixels.
constexpr int columnWidths[EntryListModel::ColumnCount] = {140, 50, 130, 120, 60};

// The view toolbar's buttons, their catalogue keys and pictures, in toolbar order.
struct ViewButton {
    const char* name;
    const char* textKey;
    const char* icon;
    LocalPane::ViewMode mode;
};
constexpr ViewButton viewButtons[] = {
    {"eins", "FRMLOCAL_BIG", ":/local/icons/view-large.svg", LocalPane::ViewMode::LargeIcons},
    {"zwei", "FRMLOCAL_SMALL", ":/local/icons/view-small.svg", LocalPane::ViewMode::SmallIcons},
    {"drei", "FRMLOCAL_LIST", ":/local/icons/view-list.svg", LocalPane::ViewMode::List},
    {"vier", "FRMLOCAL_DETAIL", ":/local/icons/view-details.svg", LocalPane::ViewMode::Details},
};

struct CommandButton {
    const char* name;
    const char* textKey;
    QStyle::StandardPixmap icon;
};
constexpr CommandButton commandButtons[] = {
    {"del", "FRMLOCAL_DELETE", QStyle::SP_TrashIcon},
    {"prop", "FRMLOCAL_PROP", QStyle::SP_FileDialogInfoView},
    {"new", "FRMLOCAL_NEW", QStyle::SP_FileDialogNewFolder},
    {"open", "FRMLOCAL_OPEN", QStyle::SP_DialogOpenButton},
    {"refresh", "FRMLOCAL_REFRESH", QStyle::SP_BrowserReload},
    {"upload", "FRMLOCAL_UPLOAD", QStyle::SP_ArrowUp},
};

// The hourglass pointer for the lifetime of one step.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Sets a flag for the lifetime of one step.
class FlagGuard
{
public:
    explicit FlagGuard(bool& flag)
        : m_flag(flag)
        , m_old(flag)
    {
        m_flag = true;
    }
    ~FlagGuard() { m_flag = m_old; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

// How the path box writes a folder: without the trailing "/", except the root "/".
QString pathBoxText(const QString& folder)
{
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        return folder.chopped(1);
    return folder;
}

QString nodeKey(const QTreeWidgetItem* node)
{
    return node->data(0, keyRole).toString();
}

// A folder picture that opens when its node is selected.
QIcon treeFolderIcon(const QStyle* style)
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

LocalPane::LocalPane(QWidget* parent, TypeInfoProvider* provider)
    : QWidget(parent)
    , m_provider(provider ? *provider : *new MimeTypeInfoProvider)
    , m_ownedProvider(provider ? nullptr : &m_provider)
{
    Q_INIT_RESOURCE(localpane);
    setObjectName(QStringLiteral("frmLocal"));
    m_driveIcon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    m_folderIcon = treeFolderIcon(style());

    createWidgets();
    createToolBars();
    connectSignals();
    setTabOrderOfControls();
    retranslate();

    refreshDrives();
    if (m_drives->count() > 0)
        changeDrive(m_drives->itemData(0).toString());
    setViewMode(ViewMode::Details);
}

LocalPane::~LocalPane() = default;

void LocalPane::createWidgets()
{
    m_frame = new QGroupBox(QStringLiteral("Mein Computer"), this);
    m_frame->setObjectName(QStringLiteral("fraLocal"));

    m_drives = new QComboBox(m_frame);
    m_drives->setObjectName(QStringLiteral("drvDrive"));
    m_drives->setAccessibleDescription(QStringLiteral("drvDrive"));
    m_drives->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_drives->setMinimumContentsLength(12);
    m_driveBar = new QToolBar(m_frame);
    m_driveBar->setObjectName(QStringLiteral("tlbdrvDrive"));

    m_pathBox = new QComboBox(m_frame);
    m_pathBox->setObjectName(QStringLiteral("cboLocal"));
    m_pathBox->setAccessibleDescription(QStringLiteral("cboLocal"));
    m_pathBox->setEditable(true);
    m_pathBox->setInsertPolicy(QComboBox::NoInsert);
    m_pathBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pathBox->setMinimumContentsLength(12);
    m_commandBar = new QToolBar(m_frame);
    m_commandBar->setObjectName(QStringLiteral("tlbDirOptions"));

    auto* splitter = new QSplitter(Qt::Horizontal, m_frame);
    m_tree = new QTreeWidget(splitter);
    m_tree->setObjectName(QStringLiteral("trwPaths"));
    m_tree->setAccessibleDescription(QStringLiteral("trwPaths"));
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setUniformRowHeights(true);

    m_model = new EntryListModel(this);
    m_views = new QStackedWidget(splitter);
    m_detailView = new QTreeView(m_views);
    m_detailView->setObjectName(QStringLiteral("lsvDirFile"));
    m_detailView->setAccessibleDescription(QStringLiteral("lsvDirFile"));
    m_detailView->setModel(m_model);
    m_detailView->setRootIsDecorated(false);
    m_detailView->setItemsExpandable(false);
    m_detailView->setUniformRowHeights(true);
    m_detailView->setAllColumnsShowFocus(true);
    m_detailView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_detailView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_detailView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_detailView->setIconSize(QSize(16, 16));
    m_detailView->header()->setStretchLastSection(false);
    m_detailView->header()->setSectionsMovable(false);
    for (int column = 0; column < EntryListModel::ColumnCount; ++column)
        m_detailView->setColumnWidth(column, columnWidths[column]);

    m_iconView = new QListView(m_views);
    m_iconView->setObjectName(QStringLiteral("lsvDirFileIcons"));
    m_iconView->setAccessibleDescription(QStringLiteral("lsvDirFile"));
    m_iconView->setModel(m_model);
    // One selection for every view, so that switching views keeps what the user selected.
    QItemSelectionModel* ownSelection = m_iconView->selectionModel();
    m_iconView->setSelectionModel(m_detailView->selectionModel());
    delete ownSelection;
    m_iconView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_iconView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_iconView->setMovement(QListView::Static);
    m_iconView->setResizeMode(QListView::Adjust);
    m_iconView->setUniformItemSizes(true);
    // Large folders are laid out in batches, so the list shows its first rows at once.
    m_iconView->setLayoutMode(QListView::Batched);
    m_iconView->setBatchSize(1000);
    m_views->addWidget(m_iconView);
    m_views->addWidget(m_detailView);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);

    m_viewBar = new QToolBar(m_frame);
    m_viewBar->setObjectName(QStringLiteral("tlbLocal"));

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_detailView),
                                    static_cast<QAbstractItemView*>(m_iconView)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->installEventFilter(this);
    }

    auto* driveRow = new QHBoxLayout;
    driveRow->addWidget(m_drives, 1);
    driveRow->addWidget(m_driveBar);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_pathBox, 1);
    pathRow->addWidget(m_commandBar);
    auto* frameLayout = new QVBoxLayout(m_frame);
    frameLayout->addLayout(driveRow);
    frameLayout->addLayout(pathRow);
    frameLayout->addWidget(splitter, 1);
    frameLayout->addWidget(m_viewBar);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_frame);
}

void LocalPane::createToolBars()
{
    const auto addButton = [this](QToolBar* bar, const char* name, const QIcon& icon) {
        QAction* action = bar->addAction(icon, QString());
        action->setObjectName(QLatin1String(name));
        m_actions.insert(bar->objectName() + QLatin1Char('/') + QLatin1String(name), action);
        // Toolbar buttons take no focus by default; keyboard users reach them with Tab.
        if (QWidget* button = bar->widgetForAction(action))
            button->setFocusPolicy(Qt::TabFocus);
        return action;
    };

    QAction* driveRefresh = addButton(m_driveBar, "refresh", style()->standardIcon(QStyle::SP_BrowserReload));
    connect(driveRefresh, &QAction::triggered, this, &LocalPane::refreshDrives);

    for (const CommandButton& button : commandButtons)
        addButton(m_commandBar, button.name, style()->standardIcon(button.icon));
    connect(m_actions.value(QStringLiteral("tlbDirOptions/del")), &QAction::triggered, this, &LocalPane::deleteRequested);
    connect(m_actions.value(QStringLiteral("tlbDirOptions/prop")), &QAction::triggered, this,
            &LocalPane::propertiesRequested);
    connect(m_actions.value(QStringLiteral("tlbDirOptions/new")), &QAction::triggered, this,
            &LocalPane::newFolderRequested);
    connect(m_actions.value(QStringLiteral("tlbDirOptions/open")), &QAction::triggered, this, &LocalPane::openRequested);
    connect(m_actions.value(QStringLiteral("tlbDirOptions/refresh")), &QAction::triggered, this,
            [this] { viewFolder(currentFolderPath()); });
    connect(m_actions.value(QStringLiteral("tlbDirOptions/upload")), &QAction::triggered, this,
            &LocalPane::uploadRequested);

    auto* group = new QActionGroup(m_viewBar);
    group->setExclusive(true);
    for (const ViewButton& button : viewButtons) {
        QAction* action = addButton(m_viewBar, button.name, QIcon(QLatin1String(button.icon)));
        action->setCheckable(true);
        group->addAction(action);
        const ViewMode mode = button.mode;
        connect(action, &QAction::triggered, this, [this, mode] { setViewMode(mode); });
    }
}

void LocalPane::connectSignals()
{
    connect(m_drives, &QComboBox::activated, this, &LocalPane::onDriveChosen);
    connect(m_pathBox, &QComboBox::activated, this, [this](int index) { choosePath(m_pathBox->itemText(index)); });
    // Enter on a typed path that is not in the list yet; a listed one arrives through activated.
    connect(m_pathBox->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        if (m_pathBox->findText(m_pathBox->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            choosePath(m_pathBox->currentText());
    });
    connect(m_tree, &QTreeWidget::itemExpanded, this, &LocalPane::onNodeExpanded);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { onCurrentNodeChanged(current); });
    connect(m_tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node) { onNodeClicked(node); });
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_detailView),
                                    static_cast<QAbstractItemView*>(m_iconView)}) {
        // Double click and Enter.
        connect(view, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
            onRowActivated(index.row());
        });
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
            Q_EMIT contextMenuRequested(view->viewport()->mapToGlobal(pos));
        });
    }
}

void LocalPane::setTabOrderOfControls()
{
    QList<QWidget*> order{m_drives};
    const auto addButtons = [&order](QToolBar* bar) {
        for (QAction* action : bar->actions()) {
            if (QWidget* button = bar->widgetForAction(action))
                order.append(button);
        }
    };
    addButtons(m_driveBar);
    order.append(m_pathBox);
    addButtons(m_commandBar);
    order.append({m_tree, m_detailView, m_iconView});
    addButtons(m_viewBar);
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void LocalPane::retranslate()
{
    // The caption doubles as a menu entry elsewhere, so it may carry a keyboard marker.
    const QString caption = withoutMnemonic(getText("FRMLOCAL_MYCOMPUTER"));
    setWindowTitle(caption);
    m_frame->setTitle(caption);
    m_model->setHeaderTexts({getText("FRMLOCAL_FILENAME"), getText("FRMLOCAL_SIZE"), getText("FRMLOCAL_TYP"),
                             getText("FRMLOCAL_CHANGED"), getText("FRMLOCAL_ATTRIBUTE")});

    const auto setButtonText = [this](const QString& id, const char* key) {
        QAction* action = m_actions.value(id);
        const QString text = withoutMnemonic(getText(key));
        action->setText(text);
        action->setToolTip(text);
        action->setStatusTip(text);
    };
    setButtonText(QStringLiteral("tlbdrvDrive/refresh"), "FRMLOCAL_REFRESH");
    for (const CommandButton& button : commandButtons)
        setButtonText(QStringLiteral("tlbDirOptions/") + QLatin1String(button.name), button.textKey);
    for (const ViewButton& button : viewButtons)
        setButtonText(QStringLiteral("tlbLocal/") + QLatin1String(button.name), button.textKey);

    // Screen readers announce the controls by these names; the descriptions carry the control
    // names, which stay the same in every language. The catalogue has no texts of their own for
    // them, so they borrow the nearest captions: the drive, the folder, my computer.
    m_drives->setAccessibleName(withoutMnemonic(getText("FRMLOCAL_INSERTDEVICE")).trimmed());
    const QString folder = withoutMnemonic(getText("FOLDER"));
    m_pathBox->setAccessibleName(folder);
    m_pathBox->lineEdit()->setAccessibleName(folder);
    m_tree->setAccessibleName(caption);
    m_detailView->setAccessibleName(caption + QStringLiteral(" - ") + withoutMnemonic(getText("FRMLOCAL_DETAIL")));
    updateIconViewMode();
}

QTreeWidgetItem* LocalPane::currentNode() const
{
    if (QTreeWidgetItem* node = m_tree->currentItem())
        return node;
    return m_tree->topLevelItem(0);
}

QString LocalPane::currentFolderPath() const
{
    const QTreeWidgetItem* node = currentNode();
    return node ? nodeKey(node) : m_driveRoot;
}

void LocalPane::viewFolder(const QString& folder)
{
    viewFolder(folder, CompareMode::Text, AttributeOrder::Local);
}

void LocalPane::viewFolder(const QString& folder, CompareMode mode, AttributeOrder order)
{
    WaitCursor wait;
    m_model->clear();
    FolderListing listing = readFolder(folder, m_provider, mode);
    m_listedFolder = listing.folder;
    m_entries = std::move(listing.entries);

    const QString folderText = getText("FOLDER");
    QList<EntryRow> rows;
    rows.reserve(m_entries.size());
    for (const FileEntry& entry : std::as_const(m_entries))
        rows.append(localEntryRow(entry, order, mode, folderText));
    m_model->setRows(std::move(rows), std::move(listing.icons));
    Q_EMIT folderListed(m_listedFolder);
}

void LocalPane::refreshLocal()
{
    viewFolder(currentFolderPath());
}

QTreeWidgetItem* LocalPane::addNode(QTreeWidgetItem* parent, const QString& key, const QString& text,
                                    const QIcon& icon)
{
    // Keys are unique: a second node for the same folder is quietly not added.
    if (m_nodes.contains(key))
        return nullptr;
    auto* node = new QTreeWidgetItem;
    node->setText(0, text);
    node->setIcon(0, icon);
    node->setData(0, keyRole, key);
    m_nodes.insert(key, node);
    if (parent)
        parent->addChild(node);
    else
        m_tree->addTopLevelItem(node);
    return node;
}

void LocalPane::readDrive(const QString& root, CompareMode mode)
{
    FlagGuard programMovesTree(m_changingTree);
    m_driveRoot = withTrailingSlash(root);
    m_treeMode = mode;
    m_tree->clear();
    m_nodes.clear();
    QTreeWidgetItem* drive = addNode(nullptr, m_driveRoot, pathBoxText(m_driveRoot), m_driveIcon);
    getFilestrwPaths(m_driveRoot, mode);
    drive->setExpanded(true);
    m_tree->setCurrentItem(drive);
}

void LocalPane::getFilestrwPaths(const QString& root, CompareMode mode)
{
    const QString parentKey = withTrailingSlash(root);
    QTreeWidgetItem* parent = m_nodes.value(parentKey);
    if (!parent)
        return;
    QList<QTreeWidgetItem*> children;
    for (const QString& name : subfolderNames(parentKey, mode)) {
        const QString key = parentKey + name + QLatin1Char('/');
        if (m_nodes.contains(key))
            continue;
        auto* node = new QTreeWidgetItem;
        node->setText(0, name);
        node->setIcon(0, m_folderIcon);
        node->setData(0, keyRole, key);
        m_nodes.insert(key, node);
        children.append(node);
    }
    // One insertion for all children keeps folders with thousands of subfolders quick.
    parent->addChildren(children);
}

void LocalPane::onNodeExpanded(QTreeWidgetItem* node)
{
    WaitCursor wait;
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (child->data(0, tagRole).toString() == loadedTag)
            continue;
        getFilestrwPaths(nodeKey(child), m_treeMode);
        child->setData(0, tagRole, loadedTag);
    }
}

void LocalPane::selectNode(QTreeWidgetItem* node)
{
    FlagGuard programMovesTree(m_changingTree);
    m_tree->setCurrentItem(node);
    m_tree->scrollToItem(node);
}

void LocalPane::onCurrentNodeChanged(QTreeWidgetItem* node)
{
    // A node chosen by the user, with the mouse or the keyboard: the list follows it, so that
    // the tree's folder and the listed one never differ.
    if (m_changingTree || !node)
        return;
    addToPathBox(pathBoxText(nodeKey(node)));
    viewFolder(currentFolderPath());
}

void LocalPane::onNodeClicked(QTreeWidgetItem* node)
{
    // A click also opens the node one level, as choosing its folder in the path box does.
    if (node && node == m_tree->currentItem())
        node->setExpanded(true);
}

void LocalPane::addToPathBox(const QString& text)
{
    int index = m_pathBox->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        m_pathBox->addItem(text);
        index = m_pathBox->count() - 1;
    }
    // Selecting by program does not list again: the caller lists the folder itself.
    m_pathBox->setCurrentIndex(index);
}

QTreeWidgetItem* LocalPane::nodeFor(const QString& folder, CompareMode mode)
{
    if (QTreeWidgetItem* node = m_nodes.value(folder))
        return node;
    if (!folder.startsWith(m_driveRoot))
        return nullptr;
    // A folder below the drive whose node is not loaded yet: load the levels down to it. This
    // also finds folders made since their parent's level was read.
    QTreeWidgetItem* node = m_nodes.value(m_driveRoot);
    QString key = m_driveRoot;
    const QStringList parts = folder.mid(m_driveRoot.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (!node)
            return nullptr;
        key += part + QLatin1Char('/');
        QTreeWidgetItem* child = m_nodes.value(key);
        if (!child) {
            getFilestrwPaths(nodeKey(node), mode);
            child = m_nodes.value(key);
        }
        node = child;
    }
    return node;
}

void LocalPane::choosePath(const QString& text)
{
    QString path = text.trimmed();
    if (path.isEmpty())
        return;
    if (QDir::isRelativePath(path))
        path = currentFolderPath() + path;
    const QString folder = withTrailingSlash(QDir::cleanPath(path));
    QTreeWidgetItem* node = nodeFor(folder, m_treeMode);
    if (!node) {
        // Only folders of this drive have a node; listing another would leave the tree's
        // folder, which the commands act on, different from the folder shown.
        QApplication::beep();
        return;
    }
    WaitCursor wait;
    addToPathBox(pathBoxText(folder));
    node->setExpanded(true);
    selectNode(node);
    viewFolder(folder);
}

void LocalPane::removeMissingPathBoxEntries()
{
    for (int i = m_pathBox->count() - 1; i >= 0; --i) {
        if (!QFileInfo(m_pathBox->itemText(i)).isDir())
            m_pathBox->removeItem(i);
    }
}

void LocalPane::onRowActivated(int row)
{
    if (row < 0 || row >= m_model->rows().size())
        return;
    const EntryRow& entry = m_model->rows()[row];
    // A row without a size is a folder; a file does nothing here.
    if (!entry.sizeText.isEmpty())
        return;
    WaitCursor wait;
    // The row belongs to the folder listed, which is also the tree's folder unless another
    // part of the program listed a folder of its own.
    const QString folder = withTrailingSlash(m_listedFolder + entry.name);
    QTreeWidgetItem* parent = currentNode();
    viewFolder(folder);
    QTreeWidgetItem* node = nodeFor(folder, m_treeMode);
    if (!node)
        return;
    if (parent)
        parent->setExpanded(true);
    node->setExpanded(true);
    selectNode(node);
    addToPathBox(pathBoxText(folder));
}

void LocalPane::refreshDrives()
{
    const QString current = m_driveRoot;
    m_drives->clear();
    for (const Drive& drive : availableDrives())
        m_drives->addItem(m_driveIcon, drive.label, drive.root);
    selectDriveInList(current);
}

void LocalPane::selectDriveInList(const QString& root)
{
    const QString wanted = withTrailingSlash(root);
    for (int i = 0; i < m_drives->count(); ++i) {
        if (withTrailingSlash(m_drives->itemData(i).toString()) == wanted) {
            m_drives->setCurrentIndex(i);
            return;
        }
    }
}

void LocalPane::onDriveChosen(int index)
{
    changeDrive(m_drives->itemData(index).toString());
}

void LocalPane::changeDrive(const QString& root)
{
    const QFileInfo info(root);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
        showMessage(this, getText("FRMLOCAL_INSERTDEVICE") + QLatin1Char(' ') + root + getText("FRMLOCAL_INTO"),
                    PromptIcon::Exclamation);
        // The list keeps showing the drive whose tree is shown.
        selectDriveInList(m_driveRoot);
        return;
    }
    QDir::setCurrent(root);
    selectDriveInList(root);
    readDrive(root);
    m_pathBox->clear();
    addToPathBox(pathBoxText(m_driveRoot));
    choosePath(m_pathBox->currentText());
}

void LocalPane::setViewMode(ViewMode mode)
{
    m_viewMode = mode;
    for (const ViewButton& button : viewButtons) {
        if (button.mode == mode)
            m_actions.value(QStringLiteral("tlbLocal/") + QLatin1String(button.name))->setChecked(true);
    }
    const bool hadFocus = m_views->currentWidget() && m_views->currentWidget()->hasFocus();
    if (mode == ViewMode::Details) {
        m_views->setCurrentWidget(m_detailView);
    } else {
        updateIconViewMode();
        m_views->setCurrentWidget(m_iconView);
    }
    if (hadFocus)
        m_views->currentWidget()->setFocus();
}

void LocalPane::updateIconViewMode()
{
    const char* modeKey = "FRMLOCAL_BIG";
    switch (m_viewMode) {
    case ViewMode::LargeIcons:
        m_iconView->setViewMode(QListView::IconMode);
        m_iconView->setIconSize(QSize(32, 32));
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setWordWrap(true);
        m_iconView->setGridSize(QSize(96, 64));
        break;
    case ViewMode::SmallIcons:
        modeKey = "FRMLOCAL_SMALL";
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setIconSize(QSize(16, 16));
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setWordWrap(false);
        m_iconView->setGridSize(QSize(160, 20));
        break;
    case ViewMode::List:
    case ViewMode::Details:
        modeKey = "FRMLOCAL_LIST";
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setIconSize(QSize(16, 16));
        m_iconView->setFlow(QListView::TopToBottom);
        m_iconView->setWordWrap(false);
        m_iconView->setGridSize(QSize());
        break;
    }
    m_iconView->setWrapping(true);
    m_iconView->setMovement(QListView::Static);
    m_iconView->setResizeMode(QListView::Adjust);
    // Both views are children of one stack: their names must differ even while one is hidden.
    m_iconView->setAccessibleName(withoutMnemonic(getText("FRMLOCAL_MYCOMPUTER")) + QStringLiteral(" - ")
                                  + withoutMnemonic(getText(modeKey)));
}

QStringList LocalPane::selectedNames() const
{
    QStringList names;
    for (const FileEntry& entry : selectedEntries())
        names.append(entry.name);
    return names;
}

QList<FileEntry> LocalPane::selectedEntries() const
{
    // A row selected in the details view brings all its columns, one selected in the icon
    // views only its name; each row counts once.
    QList<int> rows;
    for (const QModelIndex& index : m_detailView->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<FileEntry> entries;
    for (int row : rows) {
        if (row < m_entries.size())
            entries.append(m_entries[row]);
    }
    return entries;
}

QString LocalPane::currentName() const
{
    const auto entry = currentEntry();
    return entry ? entry->name : QString();
}

std::optional<FileEntry> LocalPane::currentEntry() const
{
    const int row = m_detailView->selectionModel()->currentIndex().row();
    if (row < 0 || row >= m_entries.size())
        return std::nullopt;
    return m_entries[row];
}

bool LocalPane::eventFilter(QObject* watched, QEvent* event)
{
    const bool isList = watched == m_detailView || watched == m_iconView;
    if (!isList || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool handled = key->modifiers() == Qt::NoModifier && (key->key() == Qt::Key_Delete || key->key() == Qt::Key_F5);
    if (!handled)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        // The list handles these keys itself while it has the focus, before any menu shortcut.
        event->accept();
        return true;
    }
    if (key->key() == Qt::Key_Delete)
        Q_EMIT deleteRequested();
    else
        viewFolder(currentFolderPath());
    return true;
}
