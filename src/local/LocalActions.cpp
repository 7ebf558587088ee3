#include "LocalActions.h"

#include "LocalCommands.h"
#include "LocalPane.h"

#include <QMenu>

namespace {

using Table = CommandActionTable<LocalCommand, LocalActions::Handler>;

// Each command: its action's object name (the context-menu entry, or the toolbar key of the
// commands only the toolbar and the main menu offer), the key of its caption, and its handler
// (nullptr: not built yet).
constexpr Table::Row commandRows[] = {
    {LocalCommand::Upload, "upload", "FRMPULOC_UPLOAD", &LocalCommands::upload},
    {LocalCommand::UploadFromMenu, "mnuUpload", "FRMPULOC_UPLOAD", &LocalCommands::uploadFromMenu},
    {LocalCommand::UploadAs, "mnuUploadAls", "FRMPULOC_UPLOADAS", &LocalCommands::uploadAs},
    {LocalCommand::Open, "mnuOeffnen", "FRMPULOC_OPEN", &LocalCommands::open},
    {LocalCommand::OpenWith, "mnuOeffnenMit", "FRMPULOC_OPENWITH", &LocalCommands::openWith},
    {LocalCommand::Rename, "mnuUmbenennen", "FRMPULOC_RENAME", &LocalCommands::rename},
    {LocalCommand::MainMenuRename, "mnuMyComputerUmbenennen", "FRMPULOC_RENAME", &LocalCommands::mainMenuRename},
    {LocalCommand::Delete, "mnuLoeschen", "FRMPULOC_DELETE", &LocalCommands::deleteSelection},
    {LocalCommand::NewFolder, "mnuNeuVerzeichnis", "FRMPULOC_NEWFOLDER", &LocalCommands::newFolder},
    {LocalCommand::ToolbarNewFolder, "new", "FRMLOCAL_NEW", &LocalCommands::toolbarNewFolder},
    {LocalCommand::Refresh, "refresh", "FRMPULOC_REFRESH", &LocalCommands::refresh},
    {LocalCommand::RefreshFromMenu, "mnuAktualisieren", "FRMPULOC_REFRESH", &LocalCommands::refreshFromMenu},
    {LocalCommand::Properties, "mnuEigenschaften", "FRMPULOC_PROP", &LocalCommands::showProperties},
};

// The pane's command toolbar, in order.
constexpr Table::Button toolbarButtons[] = {
    {"del", "FRMLOCAL_DELETE", LocalCommand::Delete, "edit-delete", QStyle::SP_TrashIcon},
    {"prop", "FRMLOCAL_PROP", LocalCommand::Properties, "document-properties", QStyle::SP_FileDialogInfoView},
    {"new", "FRMLOCAL_NEW", LocalCommand::ToolbarNewFolder, "folder-new", QStyle::SP_FileDialogNewFolder},
    {"open", "FRMLOCAL_OPEN", LocalCommand::Open, "document-open", QStyle::SP_DialogOpenButton},
    {"refresh", "FRMLOCAL_REFRESH", LocalCommand::Refresh, "view-refresh", QStyle::SP_BrowserReload},
    {"upload", "FRMLOCAL_UPLOAD", LocalCommand::Upload, "go-up", QStyle::SP_ArrowUp},
};

} // namespace

LocalActions::LocalActions(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window)
    : QObject(window)
    , m_pane(pane)
    , m_commands(new LocalCommands(pane, runner, std::move(environment), window))
    , m_table(commandRows, this, [this](LocalCommand command) { run(command); })
{
    m_pane.addCommandButtons(m_table.makeButtons(toolbarButtons, m_pane.style(), this));
    createContextMenu();
    retranslate();
    updateState();

    // The keys of the list trigger the same commands as the menus.
    connect(&m_pane, &LocalPane::deletePressed, action(LocalCommand::Delete), &QAction::trigger);
    connect(&m_pane, &LocalPane::refreshPressed, action(LocalCommand::Refresh), &QAction::trigger);
    connect(&m_pane, &LocalPane::contextMenuRequested, this,
            [this](const QPoint& globalPos) { m_contextMenu->popup(globalPos); });
}

LocalActions::~LocalActions()
{
    delete m_contextMenu;
}

void LocalActions::createContextMenu()
{
    m_contextMenu = new QMenu;
    m_contextMenu->setObjectName(QStringLiteral("frmPopUpfrmLocal"));
    m_contextMenu->addActions({action(LocalCommand::UploadFromMenu), action(LocalCommand::UploadAs)});
    m_contextMenu->addSeparator();
    m_contextMenu->addActions({action(LocalCommand::Open), action(LocalCommand::OpenWith)});
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(action(LocalCommand::Rename));
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(action(LocalCommand::Delete));
    m_contextMenu->addSeparator();
    m_newMenu = m_contextMenu->addMenu(QString());
    m_newMenu->setObjectName(QStringLiteral("mnuNeu"));
    m_newMenu->addAction(action(LocalCommand::NewFolder));
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(action(LocalCommand::RefreshFromMenu));
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(action(LocalCommand::Properties));
    // The style shows the default entry in bold.
    m_contextMenu->setDefaultAction(action(LocalCommand::UploadFromMenu));
}

void LocalActions::retranslate()
{
    m_table.retranslate();
    m_newMenu->setTitle(getText("FRMPULOC_NEW"));
}

void LocalActions::updateState()
{
    m_table.updateState();
}

void LocalActions::run(LocalCommand command)
{
    if (const Handler handler = m_table.handler(command))
        (m_commands->*handler)();
}
