#include "RemoteActions.h"

#include "JobRunner.h"
#include "Prompter.h"
#include "RemoteCommands.h"
#include "RemotePane.h"

#include <QMenu>

namespace {

using Table = CommandActionTable<RemoteCommand, RemoteActions::Handler>;

// Each command: its action's object name (the context-menu entry, or the toolbar key of the
// toolbar's own variants), the key of its caption, and its handler (nullptr: not built yet).
constexpr Table::Row commandRows[] = {
    {RemoteCommand::Download, "mnuDownload", "FRMPUSERVER_DOWNLOAD", &RemoteCommands::download},
    {RemoteCommand::DownloadAs, "mnuDownloadAls", "FRMPUSERVER_DOWNLOADAS", &RemoteCommands::downloadAs},
    {RemoteCommand::Open, "mnuOeffnen", "FRMPUSERVER_OPEN", &RemoteCommands::open},
    {RemoteCommand::OpenWith, "mnuOeffnenMit", "FRMPUSERVER_OPENWITH", &RemoteCommands::openWith},
    {RemoteCommand::Rename, "mnuUmbenennen", "FRMPUSERVER_RENAME", &RemoteCommands::rename},
    {RemoteCommand::Delete, "mnuLoeschen", "FRMPUSERVER_DELETE", &RemoteCommands::deleteSelection},
    {RemoteCommand::NewFolder, "mnuNeuVerzeichnis", "FRMPUSERVER_NEWFOLDER", &RemoteCommands::newFolder},
    {RemoteCommand::Refresh, "mnuAktualisieren", "FRMPUSERVER_REFRESH", &RemoteCommands::refresh},
    {RemoteCommand::ToolbarOpen, "open", "FRMSERVER_OPEN", &RemoteCommands::toolbarOpen},
    {RemoteCommand::ToolbarNewFolder, "new", "FRMSERVER_NEWDIR", &RemoteCommands::toolbarNewFolder},
    {RemoteCommand::Up, "oben", "FRMSERVER_UPPER", &RemoteCommands::up},
};

// The pane's command toolbar, in order.
constexpr Table::Button toolbarButtons[] = {
    {"del", "FRMSERVER_DEL", RemoteCommand::Delete, "edit-delete", QStyle::SP_TrashIcon},
    {"open", "FRMSERVER_OPEN", RemoteCommand::ToolbarOpen, "document-open", QStyle::SP_DialogOpenButton},
    {"new", "FRMSERVER_NEWDIR", RemoteCommand::ToolbarNewFolder, "folder-new", QStyle::SP_FileDialogNewFolder},
    {"oben", "FRMSERVER_UPPER", RemoteCommand::Up, "go-up", QStyle::SP_FileDialogToParent},
    {"actualize", "FRMSERVER_REFRESH", RemoteCommand::Refresh, "view-refresh", QStyle::SP_BrowserReload},
    {"download", "FRMSERVER_DOWN", RemoteCommand::Download, "go-down", QStyle::SP_ArrowDown},
};

} // namespace

bool requireConnection(const JobRunner& runner, QWidget* parent)
{
    if (runner.isConnected())
        return true;
    showMessage(parent, getText("FRMSERVER_NOCONNECTION"), PromptIcon::Information);
    return false;
}

RemoteActions::RemoteActions(RemotePane& pane, JobRunner& runner, RemoteEnvironment environment, QWidget* window)
    : QObject(window)
    , m_pane(pane)
    , m_runner(runner)
    , m_window(window)
    , m_commands(new RemoteCommands(pane, runner, std::move(environment), window))
    , m_table(commandRows, this, [this](RemoteCommand command) { run(command); })
{
    m_pane.addCommandButtons(m_table.makeButtons(toolbarButtons, m_pane.style(), this));
    createContextMenu();
    retranslate();
    updateState();

    // The keys of the list trigger the same commands as the menus.
    connect(&m_pane, &RemotePane::deletePressed, action(RemoteCommand::Delete), &QAction::trigger);
    connect(&m_pane, &RemotePane::refreshPressed, action(RemoteCommand::Refresh), &QAction::trigger);
    connect(&m_pane, &RemotePane::contextMenuRequested, this,
            [this](const QPoint& globalPos) { m_contextMenu->popup(globalPos); });
}

RemoteActions::~RemoteActions()
{
    delete m_contextMenu;
}

void RemoteActions::createContextMenu()
{
    m_contextMenu = new QMenu;
    m_contextMenu->setObjectName(QStringLiteral("frmPopUpfrmServer"));
    m_contextMenu->addActions({action(RemoteCommand::Download), action(RemoteCommand::DownloadAs)});
    m_contextMenu->addSeparator();
    m_contextMenu->addActions({action(RemoteCommand::Open), action(RemoteCommand::OpenWith)});
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(action(RemoteCommand::Rename));
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(action(RemoteCommand::Delete));
    m_contextMenu->addSeparator();
    m_newMenu = m_contextMenu->addMenu(QString());
    m_newMenu->setObjectName(QStringLiteral("mnuNeu"));
    m_newMenu->addAction(action(RemoteCommand::NewFolder));
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(action(RemoteCommand::Refresh));
    // The style shows the default entry in bold.
    m_contextMenu->setDefaultAction(action(RemoteCommand::Download));
}

void RemoteActions::retranslate()
{
    m_table.retranslate();
    m_newMenu->setTitle(getText("FRMPUSERVER_NEW"));
}

void RemoteActions::updateState()
{
    m_table.updateState();
}

void RemoteActions::run(RemoteCommand command)
{
    const Handler handler = m_table.handler(command);
    if (!handler || !requireConnection(m_runner, m_window))
        return;
    (m_commands->*handler)();
}

void RemoteActions::downloadDropped(const DraggedRows& rows, const QString& targetFolder)
{
    if (requireConnection(m_runner, m_window))
        m_commands->downloadDropped(rows, targetFolder);
}
