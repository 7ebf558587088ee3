#include "RemotePane.h"

#include "EntryListModel.h"
#include "EntryTypeResolver.h"
#include "JobContext.h"
#include "JobRunner.h"
#include "MimeTypeInfoProvider.h"
#include "RemoteIconStore.h"
#include "RemoteOperations.h"
#include "TextCatalogue.h"
#include "ViewModeBar.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListView>
#include <QMimeData>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

RemotePane::RemotePane(JobRunner& runner, RemoteIconStore& icons, QWidget* parent, TypeInfoProvider* provider)
    : QWidget(parent)
    , m_runner(runner)
    , m_icons(icons)
    , m_provider(provider ? *provider : *new MimeTypeInfoProvider)
    , m_ownedProvider(provider ? nullptr : &m_provider)
{
    setObjectName(QStringLiteral("frmServer"));
    createWidgets();
    setUpDragAndDrop();
    setTabOrderOfControls();
    retranslate();
}

void RemotePane::setUpDragAndDrop()
{
    EntryListModel::DragDrop handlers;
    handlers.dragData = [this](const QList<int>& rows) -> QMimeData* {
        if (m_folder.isEmpty())
            return nullptr;
        DraggedRows dragged{m_folder, {}};
        for (const int row : rows)
            dragged.rows.append({this->rows()[row].name, this->rows()[row].isFolderLike(), this->rows()[row].size});
        return EntryDrag::mimeDataOf(ListSide::Remote, dragged);
    };
    handlers.canDrop = [](const QMimeData& dragged, int) {
        return !EntryDrag::droppable(ListSide::Remote, dragged).isEmpty();
    };
    handlers.drop = [this](const QMimeData& dragged, int row) {
        // The upload starts once the drop is over: it may ask questions, and the source waits for
        // the drop to end.
        QTimer::singleShot(0, this, [this, groups = EntryDrag::droppable(ListSide::Remote, dragged),
                                     folder = dropFolder(row)] { Q_EMIT localRowsDropped(groups, folder); });
    };
    m_model->setDragDrop(std::move(handlers));
}

QString RemotePane::dropFolder(int row) const
{
    if (row < 0 || row >= rows().size() || !rows()[row].isFolderLike())
        return m_folder;
    QString folder = m_folder;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (rows()[row].kind != EntryKind::Parent)
        return folder.endsWith(QLatin1Char('/')) ? folder + rows()[row].name : folder + QLatin1Char('/') + rows()[row].name;
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : folder.left(slash);
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
    m_pathBox->setEditable(false);
    m_pathBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pathBox->setMinimumContentsLength(12);
    m_viewBar = new ViewModeBar(QStringLiteral("tlbServerRechts"),
                                {"FRMSERVER_BIG", "FRMSERVER_SMALL", "FRMSERVER_LIST", "FRMSERVER_DETAIL"}, m_frame);
    // Every button stays in sight; the path box gives way instead.
    m_commandBar->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_pathBox->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    m_model = new EntryListModel(this);
    m_list = new EntryListView(m_model, QStringLiteral("lsvServer"), m_frame);

    // activated() only: a choice the program makes while updating the path box lists nothing.
    connect(m_pathBox, &QComboBox::activated, this, [this](int index) { choosePath(m_pathBox->itemText(index)); });
    connect(m_viewBar, &ViewModeBar::modeChosen, this, &RemotePane::setViewMode);
    connect(m_list, &EntryListView::rowActivated, this, &RemotePane::activateRow);
    connect(m_list, &EntryListView::deletePressed, this, &RemotePane::deletePressed);
    connect(m_list, &EntryListView::refreshPressed, this, &RemotePane::refreshPressed);
    connect(m_list, &EntryListView::contextMenuRequested, this, [this](const QPoint& globalPos) {
        // Without a current row (an empty list) there is nothing to offer.
        if (!currentName().isEmpty())
            Q_EMIT contextMenuRequested(globalPos);
    });

    auto* topRow = new QHBoxLayout;
    topRow->addWidget(m_commandBar);
    topRow->addWidget(m_pathBox, 1);
    topRow->addWidget(m_viewBar);
    auto* frameLayout = new QVBoxLayout(m_frame);
    frameLayout->addLayout(topRow);
    frameLayout->addWidget(m_list, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_frame);
    setViewMode(ViewMode::Details);
}

void RemotePane::addCommandButtons(const QList<QAction*>& buttons)
{
    for (QAction* action : buttons) {
        m_commandBar->addAction(action);
        // Toolbar buttons take no focus by default; keyboard users reach them with Tab.
        if (QWidget* button = m_commandBar->widgetForAction(action))
            button->setFocusPolicy(Qt::TabFocus);
    }
    setTabOrderOfControls();
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
    order.append({m_list->detailView(), m_list->iconView()});
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
    m_viewBar->retranslate();
    m_pathBox->setAccessibleName(caption);
    m_pathBox->setAccessibleDescription(getText("DESC_REMOTE_PATHS"));
    updateAccessibleNames();
}

void RemotePane::updateAccessibleNames()
{
    // Screen readers announce the views by these names; both views are children of one stack, so
    // their names differ even while one is hidden.
    const QString caption = withoutMnemonic(getText("FRMSERVER_FRA")) + QStringLiteral(" - ");
    const ViewMode iconMode = viewMode() == ViewMode::Details ? ViewMode::List : viewMode();
    m_list->setAccessibleTexts(caption + m_viewBar->caption(ViewMode::Details), caption + m_viewBar->caption(iconMode),
                               getText("DESC_REMOTE_LIST"));
}

EntryListView::Mode RemotePane::viewMode() const
{
    return m_list->mode();
}

void RemotePane::setViewMode(ViewMode mode)
{
    m_list->setMode(mode);
    m_viewBar->showMode(mode);
    updateAccessibleNames();
}

void RemotePane::refreshRemote(bool updatePathBox)
{
    startListing(QString(), updatePathBox);
}

void RemotePane::changeFolder(const QString& name)
{
    startListing(name, true);
}

void RemotePane::choosePath(const QString& path)
{
    startListing(path, false);
}

void RemotePane::activateRow(int row)
{
    const QList<FileEntry>& all = rows();
    if (row < 0 || row >= all.size() || all[row].name.isEmpty())
        return;
    const FileEntry& entry = all[row];
    // A LIST line does not say whether a link leads to a folder: try to enter it; a link to a
    // file lists the same folder again.
    if (entry.isFolderLike() || entry.kind == EntryKind::Link)
        changeFolder(entry.name);
    else
        updatePathBox(); // a file row changes nothing on the server
}

void RemotePane::startListing(const QString& changeTo, bool updatePathBox)
{
    jobStarted();
    QPointer<RemotePane> self(this);
    m_runner.start<RemoteFolderRead>(
        [base = m_folder, changeTo](JobContext& context) {
            RemoteFolderRead read = RemoteFolderJobs::changeAndRead(context.session(), base, changeTo);
            // A folder that is there but cannot be read (refused, or a listing beyond all bounds).
            if (read.connected && !read.entries)
                context.appendHistory(getText("FRMSERVER_LISTFAILED") + QLatin1Char(' ') + context.session().lastError(),
                                      HistoryColour::Red);
            if (read.unreadableLines > 0)
                context.appendHistory(getText("FRMSERVER_UNREADABLE") + QLatin1Char(' ')
                                          + QString::number(read.unreadableLines),
                                      HistoryColour::Red);
            return read;
        },
        [self, updatePathBox](RemoteFolderRead read) {
            if (self)
                self->showListing(read, updatePathBox);
        });
}

void RemotePane::showListing(const RemoteFolderRead& read, bool updatePathBox)
{
    jobEnded();
    if (read.connected) {
        fillRows(read.entries.value_or(QList<RemoteEntry>()));
        if (!read.currentDir.isEmpty())
            m_folder = read.currentDir;
        if (updatePathBox) {
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

    EntryTypeResolver resolver(m_provider, FallbackRule::Remote, RemoteRows::unknownIconKey);
    // The rows are the one store of the listing's entries.
    QList<FileEntry> rows = RemoteRows::rowsOf(entries, resolver);
    m_icons.insertNew(resolver.icons());
    m_model->setRows(std::move(rows), m_icons.icons(),
                     {ListSide::Remote, AttributeOrder::Remote, getText("MPUB_FOLDER")});

    // The ".." row is the current and selected row until the user picks another.
    const QModelIndex first = m_model->index(0, 0);
    m_list->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void RemotePane::updatePathBox()
{
    applyPathBox(m_folder);
    Q_EMIT pathBoxUpdated(m_folder);
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

QStringList RemotePane::pathBoxEntries() const
{
    QStringList paths;
    for (int i = 0; i < m_pathBox->count(); ++i)
        paths.append(m_pathBox->itemText(i));
    return paths;
}

void RemotePane::removeStalePaths()
{
    jobStarted();
    QPointer<RemotePane> self(this);
    m_runner.start<QStringList>(
        [paths = pathBoxEntries(), folder = m_folder](JobContext& context) {
            return RemoteFolderJobs::unreachablePaths(context.session(), paths, folder);
        },
        [self](QStringList gone) {
            if (!self)
                return;
            self->jobEnded();
            self->removePaths(gone);
            Q_EMIT self->stalePathsRemoved(gone);
        });
}

void RemotePane::removePaths(const QStringList& paths)
{
    for (const QString& path : paths) {
        const int index = m_pathBox->findText(path, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index >= 0)
            m_pathBox->removeItem(index);
    }
}

void RemotePane::clearRemote()
{
    m_folder.clear();
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

const QList<FileEntry>& RemotePane::rows() const
{
    return m_model->rows();
}

QList<FileEntry> RemotePane::selectedRows() const
{
    QList<FileEntry> selected;
    const QList<FileEntry>& all = rows();
    for (const int row : m_list->selectedRows()) {
        if (row < all.size())
            selected.append(all[row]);
    }
    return selected;
}

std::optional<FileEntry> RemotePane::currentRow() const
{
    const int row = m_list->currentRow();
    const QList<FileEntry>& all = rows();
    if (row < 0 || row >= all.size())
        return std::nullopt;
    return all[row];
}

QString RemotePane::currentName() const
{
    const std::optional<FileEntry> row = currentRow();
    return row ? row->name : QString();
}
