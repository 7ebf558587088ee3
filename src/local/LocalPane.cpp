#include "LocalPane.h"

#include "DriveList.h"
#include "EntryListModel.h"
#include "EntryListView.h"
#include "FolderTree.h"
#include "LocalFolderReader.h"
#include "MimeTypeInfoProvider.h"
#include "Prompter.h"
#include "TextCatalogue.h"
#include "ViewModeBar.h"
#include "WaitCursor.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// How the path box writes a folder: without the trailing "/", except the root "/".
QString pathBoxText(const QString& folder)
{
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        return folder.chopped(1);
    return folder;
}

} // namespace

LocalPane::LocalPane(QWidget* parent, TypeInfoProvider* provider)
    : QWidget(parent)
    , m_provider(provider ? *provider : *new MimeTypeInfoProvider)
    , m_ownedProvider(provider ? nullptr : &m_provider)
{
    setObjectName(QStringLiteral("frmLocal"));
    m_driveIcon = style()->standardIcon(QStyle::SP_DriveHDIcon);

    createWidgets();
    connectSignals();
    setUpDragAndDrop();
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
    m_drives->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_drives->setMinimumContentsLength(12);
    m_driveBar = new QToolBar(m_frame);
    m_driveBar->setObjectName(QStringLiteral("tlbdrvDrive"));

    m_pathBox = new QComboBox(m_frame);
    m_pathBox->setObjectName(QStringLiteral("cboLocal"));
    m_pathBox->setEditable(true);
    m_pathBox->setInsertPolicy(QComboBox::NoInsert);
    m_pathBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pathBox->setMinimumContentsLength(12);
    m_commandBar = new QToolBar(m_frame);
    m_commandBar->setObjectName(QStringLiteral("tlbDirOptions"));

    auto* splitter = new QSplitter(Qt::Horizontal, m_frame);
    m_tree = new FolderTree(splitter);

    m_model = new EntryListModel(this);
    m_list = new EntryListView(m_model, QStringLiteral("lsvDirFile"), splitter);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);

    m_viewBar = new ViewModeBar(QStringLiteral("tlbLocal"),
                                {"FRMLOCAL_BIG", "FRMLOCAL_SMALL", "FRMLOCAL_LIST", "FRMLOCAL_DETAIL"}, m_frame);

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

void LocalPane::addButton(QToolBar* bar, QAction* action)
{
    bar->addAction(action);
    // Toolbar buttons take no focus by default; keyboard users reach them with Tab.
    if (QWidget* button = bar->widgetForAction(action))
        button->setFocusPolicy(Qt::TabFocus);
}

void LocalPane::addCommandButtons(const QList<QAction*>& buttons)
{
    for (QAction* action : buttons)
        addButton(m_commandBar, action);
    setTabOrderOfControls();
}

void LocalPane::connectSignals()
{
    m_driveRefresh = new QAction(QIcon::fromTheme(QStringLiteral("view-refresh"), style()->standardIcon(QStyle::SP_BrowserReload)),
                                 QString(), this);
    m_driveRefresh->setObjectName(QStringLiteral("refresh"));
    addButton(m_driveBar, m_driveRefresh);
    connect(m_driveRefresh, &QAction::triggered, this, &LocalPane::refreshDrives);
    connect(m_viewBar, &ViewModeBar::modeChosen, this, &LocalPane::setViewMode);
    connect(m_drives, &QComboBox::activated, this, &LocalPane::onDriveChosen);
    connect(m_pathBox, &QComboBox::activated, this, [this](int index) { choosePath(m_pathBox->itemText(index)); });
    // Enter on a typed path that is not in the list yet; a listed one arrives through activated.
    connect(m_pathBox->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        if (m_pathBox->findText(m_pathBox->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            choosePath(m_pathBox->currentText());
    });
    connect(m_tree, &FolderTree::folderChosen, this, &LocalPane::onFolderChosen);
    connect(m_list, &EntryListView::rowActivated, this, &LocalPane::onRowActivated);
    connect(m_list, &EntryListView::deletePressed, this, &LocalPane::deletePressed);
    connect(m_list, &EntryListView::refreshPressed, this, &LocalPane::refreshPressed);
    connect(m_list, &EntryListView::contextMenuRequested, this, &LocalPane::contextMenuRequested);
}

void LocalPane::setUpDragAndDrop()
{
    EntryListModel::DragDrop handlers;
    handlers.dragData = [this](const QList<int>& rows) {
        DraggedRows dragged{m_listedFolder, {}};
        for (const int row : rows)
            dragged.rows.append({entries()[row].name, entries()[row].isFolderLike(), entries()[row].size});
        return EntryDrag::mimeDataOf(ListSide::Local, dragged);
    };
    handlers.canDrop = [this](const QMimeData& dragged, int row) {
        return !dropFolder(row).isEmpty() && !EntryDrag::droppable(ListSide::Local, dragged).isEmpty();
    };
    handlers.drop = [this](const QMimeData& dragged, int row) {
        // The download starts once the drop is over: it may ask questions, and the source waits
        // for the drop to end.
        QTimer::singleShot(0, this, [this, rows = EntryDrag::droppable(ListSide::Local, dragged).first(),
                                     folder = dropFolder(row)] { Q_EMIT serverRowsDropped(rows, folder); });
    };
    m_model->setDragDrop(std::move(handlers));
    connect(m_tree, &FolderTree::serverRowsDropped, this, &LocalPane::serverRowsDropped);
}

QString LocalPane::dropFolder(int row) const
{
    if (row < 0)
        return m_listedFolder;
    const FileEntry& entry = entries()[row];
    return entry.isFolderLike() ? withTrailingSlash(m_listedFolder + entry.name) : QString();
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
    order << m_tree << m_list->detailView() << m_list->iconView();
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

    const QString refresh = withoutMnemonic(getText("FRMLOCAL_REFRESH"));
    m_driveRefresh->setText(refresh);
    m_driveRefresh->setToolTip(refresh);
    m_viewBar->retranslate();

    // Screen readers announce the controls by these names and say what they show.
    m_drives->setAccessibleName(withoutMnemonic(getText("FRMLOCAL_INSERTDEVICE")).trimmed());
    m_drives->setAccessibleDescription(getText("DESC_LOCAL_DRIVES"));
    const QString folder = withoutMnemonic(getText("FOLDER"));
    m_pathBox->setAccessibleName(folder);
    m_pathBox->lineEdit()->setAccessibleName(folder);
    m_pathBox->setAccessibleDescription(getText("DESC_LOCAL_PATHS"));
    m_tree->setAccessibleName(caption);
    m_tree->setAccessibleDescription(getText("DESC_LOCAL_TREE"));
    updateAccessibleNames();
}

void LocalPane::updateAccessibleNames()
{
    const QString caption = withoutMnemonic(getText("FRMLOCAL_MYCOMPUTER")) + QStringLiteral(" - ");
    const ViewMode iconMode = viewMode() == ViewMode::Details ? ViewMode::List : viewMode();
    m_list->setAccessibleTexts(caption + m_viewBar->caption(ViewMode::Details), caption + m_viewBar->caption(iconMode),
                               getText("DESC_LOCAL_LIST"));
}

QString LocalPane::currentFolderPath() const
{
    return m_tree->currentFolderPath();
}

QString LocalPane::driveRoot() const
{
    return m_tree->driveRoot();
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
    m_model->setRows(std::move(listing.entries), std::move(listing.icons), {ListSide::Local, order, getText("FOLDER")});
    Q_EMIT folderListed(m_listedFolder);
}

void LocalPane::refreshLocal()
{
    viewFolder(currentFolderPath());
}

void LocalPane::showFolder(const QString& folder)
{
    readDrive(driveRoot());
    // Choosing the folder opens the tree down to its node, selects it and lists the folder.
    if (folder.startsWith(driveRoot()))
        choosePath(folder);
    // A folder gone meanwhile, or one outside the drive, still gets its (empty) listing.
    if (listedFolder() != folder)
        viewFolder(folder);
}

void LocalPane::rebuildTree(const QString& folder, CompareMode mode)
{
    WaitCursor wait;
    readDrive(driveRoot(), mode);
    if (QTreeWidgetItem* node = m_tree->openAlong(folder))
        m_tree->selectNode(node);
}

void LocalPane::readDrive(const QString& root, CompareMode mode)
{
    m_tree->readDrive(root, mode);
}

void LocalPane::loadSubfolders(const QString& root)
{
    m_tree->loadSubfolders(root);
}

void LocalPane::onFolderChosen(const QString& folder)
{
    addToPathBox(pathBoxText(folder));
    viewFolder(folder);
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

void LocalPane::choosePath(const QString& text)
{
    QString path = text.trimmed();
    if (path.isEmpty())
        return;
    if (QDir::isRelativePath(path))
        path = currentFolderPath() + path;
    const QString folder = withTrailingSlash(QDir::cleanPath(path));
    QTreeWidgetItem* node = m_tree->nodeFor(folder);
    if (!node) {
        // Only folders of this drive have a node; listing another would leave the tree's
        // folder, which the commands act on, different from the folder shown.
        QApplication::beep();
        return;
    }
    WaitCursor wait;
    addToPathBox(pathBoxText(folder));
    node->setExpanded(true);
    m_tree->selectNode(node);
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
    const FileEntry& entry = m_model->rows()[row];
    // A file does nothing here.
    if (!entry.isFolderLike())
        return;
    WaitCursor wait;
    // The row belongs to the folder listed, which is also the tree's folder unless another
    // part of the program listed a folder of its own.
    const QString folder = withTrailingSlash(m_listedFolder + entry.name);
    QTreeWidgetItem* parent = m_tree->currentNode();
    viewFolder(folder);
    QTreeWidgetItem* node = m_tree->nodeFor(folder);
    if (!node)
        return;
    if (parent)
        parent->setExpanded(true);
    node->setExpanded(true);
    m_tree->selectNode(node);
    addToPathBox(pathBoxText(folder));
}

void LocalPane::refreshDrives()
{
    const QString current = driveRoot();
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
        selectDriveInList(driveRoot());
        return;
    }
    QDir::setCurrent(root);
    selectDriveInList(root);
    readDrive(root);
    m_pathBox->clear();
    addToPathBox(pathBoxText(driveRoot()));
    choosePath(m_pathBox->currentText());
}

LocalPane::ViewMode LocalPane::viewMode() const
{
    return m_list->mode();
}

void LocalPane::setViewMode(ViewMode mode)
{
    m_viewBar->showMode(mode);
    m_list->setMode(mode);
    updateAccessibleNames();
}

QStringList LocalPane::selectedNames() const
{
    QStringList names;
    for (const FileEntry& entry : selectedEntries())
        names.append(entry.name);
    return names;
}

const QList<FileEntry>& LocalPane::entries() const
{
    return m_model->rows();
}

QList<FileEntry> LocalPane::selectedEntries() const
{
    QList<FileEntry> selected;
    for (int row : m_list->selectedRows()) {
        if (row < entries().size())
            selected.append(entries()[row]);
    }
    return selected;
}

QString LocalPane::currentName() const
{
    const auto entry = currentEntry();
    return entry ? entry->name : QString();
}

std::optional<FileEntry> LocalPane::currentEntry() const
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= entries().size())
        return std::nullopt;
    return entries()[row];
}
