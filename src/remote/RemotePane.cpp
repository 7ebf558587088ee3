#include "RemotePane.h"

#include "EntryListModel.h"
#include "EntryTypeResolver.h"
#include "JobContext.h"
#include "MimeTypeInfoProvider.h"
#include "Prompter.h"
#include "RemoteIconStore.h"
#include "RemoteRows.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QPointer>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The column widths of the list, in pixels.
constexpr int columnWidths[EntryListModel::ColumnCount] = {140, 50, 130, 120, 60};

// The command toolbar's buttons, in toolbar order: key, tooltip key, theme picture, fallback.
struct CommandButton {
    const char* key;
    const char* textKey;
    const char* themeIcon;
    QStyle::StandardPixmap fallback;
};
constexpr CommandButton commandButtons[] = {
    {"del", "FRMSERVER_DEL", "edit-delete", QStyle::SP_TrashIcon},
    {"open", "FRMSERVER_OPEN", "document-open", QStyle::SP_DialogOpenButton},
    {"new", "FRMSERVER_NEWDIR", "folder-new", QStyle::SP_FileDialogNewFolder},
    {"oben", "FRMSERVER_UPPER", "go-up", QStyle::SP_FileDialogToParent},
    {"actualize", "FRMSERVER_REFRESH", "view-refresh", QStyle::SP_BrowserReload},
    {"download", "FRMSERVER_DOWN", "go-down", QStyle::SP_ArrowDown},
};

// The view pictures are the local pane's, so both panes show their views alike.
struct ViewButton {
    const char* key;
    const char* textKey;
    const char* icon;
    RemotePane::ViewMode mode;
};
constexpr ViewButton viewButtons[] = {
    {"eins", "FRMSERVER_BIG", ":/local/icons/view-large.svg", RemotePane::ViewMode::LargeIcons},
    {"zwei", "FRMSERVER_SMALL", ":/local/icons/view-small.svg", RemotePane::ViewMode::SmallIcons},
    {"drei", "FRMSERVER_LIST", ":/local/icons/view-list.svg", RemotePane::ViewMode::List},
    {"vier", "FRMSERVER_DETAIL", ":/local/icons/view-details.svg", RemotePane::ViewMode::Details},
};

QIcon themeIcon(const char* name, QStyle::StandardPixmap fallback, const QStyle* style)
{
    return QIcon::fromTheme(QLatin1String(name), style->standardIcon(fallback));
}

const char* viewTextKey(RemotePane::ViewMode mode)
{
    for (const ViewButton& button : viewButtons) {
        if (button.mode == mode)
            return button.textKey;
    }
    return "FRMSERVER_DETAIL";
}

} // namespace

RemotePane::RemotePane(SessionRunner& runner, RemoteIconStore& icons, QWidget* parent, TypeInfoProvider* provider)
    : QWidget(parent)
    , m_runner(runner)
    , m_icons(icons)
    , m_provider(provider ? *provider : *new MimeTypeInfoProvider)
    , m_ownedProvider(provider ? nullptr : &m_provider)
{
    Q_INIT_RESOURCE(localpane);
    setObjectName(QStringLiteral("frmServer"));
    createWidgets();
    createToolBars();
    connectSignals();
    setTabOrderOfControls();
    retranslate();
    setViewMode(ViewMode::Details);
}

RemotePane::~RemotePane() = default;

void RemotePane::createWidgets()
{
    m_frame = new QGroupBox(QStringLiteral("Mein Server"), this);
    m_frame->setObjectName(QStringLiteral("fraServer"));

    m_commandBar = new QToolBar(m_frame);
    m_commandBar->setObjectName(QStringLiteral("tlbServerLinks"));
    m_pathBox = new QComboBox(m_frame);
    m_pathBox->setObjectName(QStringLiteral("cboServer"));
    m_pathBox->setAccessibleDescription(QStringLiteral("cboServer"));
    m_pathBox->setEditable(false);
    m_pathBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pathBox->setMinimumContentsLength(12);
    m_viewBar = new QToolBar(m_frame);
    m_viewBar->setObjectName(QStringLiteral("tlbServerRechts"));
    // Every button stays in sight; the path box gives way instead.
    m_commandBar->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_viewBar->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_pathBox->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    m_model = new EntryListModel(this);
    m_views = new QStackedWidget(m_frame);
    m_detailView = new QTreeView(m_views);
    m_detailView->setObjectName(QStringLiteral("lsvServer"));
    m_detailView->setAccessibleDescription(QStringLiteral("lsvServer"));
    m_detailView->setModel(m_model);
    m_detailView->setRootIsDecorated(false);
    m_detailView->setItemsExpandable(false);
    m_detailView->setUniformRowHeights(true);
    m_detailView->setAllColumnsShowFocus(true);
    m_detailView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_detailView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_detailView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_detailView->setIconSize(QSize(16, 16));
    m_detailView->setSortingEnabled(false);
    // The rows keep the server's order: a click on a header sorts nothing.
    m_detailView->header()->setSectionsClickable(false);
    m_detailView->header()->setSortIndicatorShown(false);
    m_detailView->header()->setSectionsMovable(false);
    m_detailView->header()->setStretchLastSection(false);
    for (int column = 0; column < EntryListModel::ColumnCount; ++column)
        m_detailView->setColumnWidth(column, columnWidths[column]);

    m_iconView = new QListView(m_views);
    m_iconView->setObjectName(QStringLiteral("lsvServerIcons"));
    m_iconView->setAccessibleDescription(QStringLiteral("lsvServer"));
    m_iconView->setModel(m_model);
    // One selection for every view, so that switching views keeps what the user selected.
    QItemSelectionModel* ownSelection = m_iconView->selectionModel();
    m_iconView->setSelectionModel(m_detailView->selectionModel());
    delete ownSelection;
    m_iconView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_iconView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_iconView->setUniformItemSizes(true);
    // Large folders are laid out in batches, so the list shows its first rows at once.
    m_iconView->setLayoutMode(QListView::Batched);
    m_iconView->setBatchSize(1000);
    m_views->addWidget(m_iconView);
    m_views->addWidget(m_detailView);

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_detailView),
                                    static_cast<QAbstractItemView*>(m_iconView)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->installEventFilter(this);
    }

    auto* topRow = new QHBoxLayout;
    topRow->addWidget(m_commandBar);
    topRow->addWidget(m_pathBox, 1);
    topRow->addWidget(m_viewBar);
    auto* frameLayout = new QVBoxLayout(m_frame);
    frameLayout->addLayout(topRow);
    frameLayout->addWidget(m_views, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_frame);
}

void RemotePane::createToolBars()
{
    const auto addButton = [this](QToolBar* bar, const char* key, const QIcon& icon) {
        QAction* action = bar->addAction(icon, QString());
        action->setObjectName(QLatin1String(key));
        m_actions.insert(QLatin1String(key), action);
        // Toolbar buttons take no focus by default; keyboard users reach them with Tab.
        if (QWidget* button = bar->widgetForAction(action))
            button->setFocusPolicy(Qt::TabFocus);
        return action;
    };

    for (const CommandButton& button : commandButtons) {
        QAction* action = addButton(m_commandBar, button.key, themeIcon(button.themeIcon, button.fallback, style()));
        const QString key = QLatin1String(button.key);
        connect(action, &QAction::triggered, this, [this, key] { runCommand(key); });
    }

    auto* group = new QActionGroup(m_viewBar);
    group->setExclusive(true);
    for (const ViewButton& button : viewButtons) {
        QAction* action = addButton(m_viewBar, button.key, QIcon(QLatin1String(button.icon)));
        action->setCheckable(true);
        group->addAction(action);
        const ViewMode mode = button.mode;
        connect(action, &QAction::triggered, this, [this, mode] { setViewMode(mode); });
    }
}

void RemotePane::connectSignals()
{
    // activated() only: a choice the program makes while updating the path box lists nothing.
    connect(m_pathBox, &QComboBox::activated, this, [this](int index) { choosePath(m_pathBox->itemText(index)); });
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_detailView),
                                    static_cast<QAbstractItemView*>(m_iconView)}) {
        // Double click and Enter.
        connect(view, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
            activateRow(index.row());
        });
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
            // Without a current row (an empty list) there is nothing to offer.
            if (!currentName().isEmpty())
                Q_EMIT contextMenuRequested(view->viewport()->mapToGlobal(pos));
        });
    }
}

void RemotePane::setTabOrderOfControls()
{
    QList<QWidget*> order;
    const auto addButtons = [&order](QToolBar* bar) {
        for (QAction* action : bar->actions()) {
            if (QWidget* button = bar->widgetForAction(action))
                order.append(button);
        }
    };
    addButtons(m_commandBar);
    order.append(m_pathBox);
    addButtons(m_viewBar);
    order.append({m_detailView, m_iconView});
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void RemotePane::retranslate()
{
    // The caption doubles as a menu entry elsewhere, so it may carry a keyboard marker.
    const QString caption = withoutMnemonic(getText("FRMSERVER_FRA"));
    setWindowTitle(caption);
    m_frame->setTitle(caption);
    m_model->setHeaderTexts({getText("FRMSERVER_FILENAME"), getText("FRMSERVER_SIZE"), getText("FRMSERVER_TYP"),
                             getText("FRMSERVER_CHANGED"), getText("FRMSERVER_ATTRIB")});

    const auto setButtonText = [this](const char* key, const char* textKey) {
        QAction* action = m_actions.value(QLatin1String(key));
        const QString text = withoutMnemonic(getText(textKey));
        action->setText(text);
        action->setToolTip(text);
        action->setStatusTip(text);
    };
    for (const CommandButton& button : commandButtons)
        setButtonText(button.key, button.textKey);
    for (const ViewButton& button : viewButtons)
        setButtonText(button.key, button.textKey);

    // Screen readers announce the controls by these names; the descriptions carry the control
    // names, which stay the same in every language.
    m_pathBox->setAccessibleName(caption);
    m_detailView->setAccessibleName(caption + QStringLiteral(" - ") + withoutMnemonic(getText("FRMSERVER_DETAIL")));
    updateIconViewMode();
}

void RemotePane::setViewMode(ViewMode mode)
{
    m_viewMode = mode;
    for (const ViewButton& button : viewButtons) {
        if (button.mode == mode)
            m_actions.value(QLatin1String(button.key))->setChecked(true);
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

void RemotePane::updateIconViewMode()
{
    switch (m_viewMode) {
    case ViewMode::LargeIcons:
        m_iconView->setViewMode(QListView::IconMode);
        m_iconView->setIconSize(QSize(32, 32));
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setWordWrap(true);
        m_iconView->setGridSize(QSize(96, 64));
        break;
    case ViewMode::SmallIcons:
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setIconSize(QSize(16, 16));
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setWordWrap(false);
        m_iconView->setGridSize(QSize(160, 20));
        break;
    case ViewMode::List:
    case ViewMode::Details:
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
    const ViewMode shown = m_viewMode == ViewMode::Details ? ViewMode::List : m_viewMode;
    m_iconView->setAccessibleName(withoutMnemonic(getText("FRMSERVER_FRA")) + QStringLiteral(" - ")
                                  + withoutMnemonic(getText(viewTextKey(shown))));
}

void RemotePane::runCommand(const QString& key)
{
    if (!m_runner.isConnected()) {
        showMessage(this, getText("FRMSERVER_NOCONNECTION"), PromptIcon::Information);
        return;
    }
    if (key == QLatin1String("del"))
        Q_EMIT deleteRequested();
    else if (key == QLatin1String("open"))
        Q_EMIT openRequested();
    else if (key == QLatin1String("new"))
        Q_EMIT newFolderRequested();
    else if (key == QLatin1String("oben"))
        // The current row after a listing is "..", so Up without a choice goes one level up.
        startListing(currentName(), PathBoxUpdate::Yes);
    else if (key == QLatin1String("actualize"))
        refreshRemote(true);
    else if (key == QLatin1String("download"))
        Q_EMIT downloadRequested();
}

void RemotePane::refreshRemote(bool updatePathBox)
{
    startListing(QString(), updatePathBox ? PathBoxUpdate::Yes : PathBoxUpdate::No);
}

void RemotePane::choosePath(const QString& path)
{
    startListing(path, PathBoxUpdate::No);
}

void RemotePane::activateRow(int row)
{
    const QList<EntryRow>& all = rows();
    if (row < 0 || row >= all.size() || all[row].name.isEmpty())
        return;
    const EntryRow& entry = all[row];
    // A LIST line does not say whether a link leads to a folder: try to enter it; a link to a
    // file lists the same folder again.
    if (entry.name == RemoteRows::parentName || entry.sizeText.isEmpty() || m_linkNames.contains(entry.name))
        startListing(entry.name, PathBoxUpdate::Yes);
    else
        updatePathBox(); // a file row changes nothing on the server
}

void RemotePane::startListing(const QString& changeTo, PathBoxUpdate update)
{
    jobStarted();
    QPointer<RemotePane> self(this);
    m_runner.start<RemoteFolderRead>(
        [changeTo, update](JobContext& context) {
            return RemoteFolderJobs::changeAndRead(context.session(), changeTo, update);
        },
        [self, update](RemoteFolderRead read) {
            if (self)
                self->showListing(read, update);
        });
}

void RemotePane::showListing(const RemoteFolderRead& read, PathBoxUpdate update)
{
    jobEnded();
    if (read.connected) {
        fillRows(read.entries.value_or(QList<RemoteEntry>()));
        if (update == PathBoxUpdate::Yes) {
            applyPathBox(read.currentDir);
            Q_EMIT pathBoxUpdated(read.currentDir);
        }
    }
    Q_EMIT listingFinished();
}

void RemotePane::fillRows(const QList<RemoteEntry>& entries)
{
    // The model lets go of the pictures first, so that adding keys does not copy the store.
    m_model->clear();
    if (!m_icons.contains(RemoteRows::folderIconKey))
        m_icons.insert(RemoteRows::folderIconKey, m_provider.folderIcon());
    if (!m_icons.contains(RemoteRows::unknownIconKey))
        m_icons.insert(RemoteRows::unknownIconKey,
                       QIcon::fromTheme(QStringLiteral("unknown"), style()->standardIcon(QStyle::SP_FileIcon)));

    EntryTypeResolver resolver(m_provider, FallbackRule::Remote);
    m_listing = RemoteRows::buildListing(entries, resolver);
    m_linkNames.clear();
    for (const RemoteEntry& entry : entries) {
        if (entry.isLink && !entry.isDirectory)
            m_linkNames.insert(entry.name);
    }
    m_icons.insertNew(resolver.icons());
    m_model->setRows(RemoteRows::rowsOf(m_listing, getText("MPUB_FOLDER")), m_icons.icons());

    // The ".." row is the current and selected row until the user picks another.
    const QModelIndex first = m_model->index(0, 0);
    m_detailView->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect
                                                               | QItemSelectionModel::Rows);
}

void RemotePane::updatePathBox()
{
    jobStarted();
    QPointer<RemotePane> self(this);
    m_runner.start<QString>([](JobContext& context) { return RemoteFolderJobs::currentDir(context.session()); },
                            [self](QString path) {
                                if (!self)
                                    return;
                                self->jobEnded();
                                self->applyPathBox(path);
                                Q_EMIT self->pathBoxUpdated(path);
                            });
}

void RemotePane::applyPathBox(const QString& path)
{
    // A failed query gives no path, and no empty entry is added for it.
    if (path.isEmpty())
        return;
    int index = m_pathBox->findText(path, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        m_pathBox->addItem(path);
        index = m_pathBox->count() - 1;
    }
    m_pathBox->setCurrentIndex(index);
}

void RemotePane::removeStalePaths()
{
    QStringList paths;
    for (int i = 0; i < m_pathBox->count(); ++i)
        paths.append(m_pathBox->itemText(i));
    jobStarted();
    QPointer<RemotePane> self(this);
    m_runner.start<QStringList>(
        [paths](JobContext& context) { return RemoteFolderJobs::unreachablePaths(context.session(), paths); },
        [self](QStringList gone) {
            if (!self)
                return;
            self->jobEnded();
            for (const QString& path : std::as_const(gone)) {
                const int index = self->m_pathBox->findText(path, Qt::MatchExactly | Qt::MatchCaseSensitive);
                if (index >= 0)
                    self->m_pathBox->removeItem(index);
            }
            Q_EMIT self->stalePathsRemoved(gone);
        });
}

void RemotePane::clearRemote()
{
    m_listing.clear();
    m_model->clear();
}

void RemotePane::jobStarted()
{
    // The user may go on clicking while the server answers; the pointer only shows it is busy.
    if (m_pendingJobs++ == 0)
        setCursor(Qt::BusyCursor);
}

void RemotePane::jobEnded()
{
    if (--m_pendingJobs == 0)
        unsetCursor();
}

const QList<EntryRow>& RemotePane::rows() const
{
    return m_model->rows();
}

QList<EntryRow> RemotePane::selectedRows() const
{
    // A row selected in the details view brings all its columns, one selected in the icon
    // views only its name; each row counts once.
    QList<int> numbers;
    for (const QModelIndex& index : m_detailView->selectionModel()->selectedIndexes())
        numbers.append(index.row());
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    QList<EntryRow> selected;
    const QList<EntryRow>& all = rows();
    for (const int row : std::as_const(numbers)) {
        if (row >= 0 && row < all.size())
            selected.append(all[row]);
    }
    return selected;
}

std::optional<EntryRow> RemotePane::currentRow() const
{
    const int row = m_detailView->selectionModel()->currentIndex().row();
    const QList<EntryRow>& all = rows();
    if (row < 0 || row >= all.size())
        return std::nullopt;
    return all[row];
}

QString RemotePane::currentName() const
{
    const std::optional<EntryRow> row = currentRow();
    return row ? row->name : QString();
}

bool RemotePane::eventFilter(QObject* watched, QEvent* event)
{
    const bool isList = watched == m_detailView || watched == m_iconView;
    if (!isList || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool handled =
        key->modifiers() == Qt::NoModifier && (key->key() == Qt::Key_Delete || key->key() == Qt::Key_F5);
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
        refreshRemote(true);
    return true;
}
