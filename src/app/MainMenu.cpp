#include "MainMenu.h"

#include "LocalActions.h"
#include "RemoteActions.h"
#include "TextCatalogue.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <variant>

// One row of the menu table. An entry is the main window's own command, a pane's command, or
// nothing (a separator, or a submenu's title).
struct MainMenu::Entry {
    using Command = std::variant<std::monostate, AppCommand, LocalCommand, RemoteCommand>;

    const char* name;         // "-" for a separator
    const char* key;          // looked up; nullptr for a fixed caption
    const char* fixedCaption; // also the default caption shown before the lookup
    Command command = {};
    QKeySequence shortcut = {};
    bool checked = false;     // a checkable entry that starts checked
};

namespace {

const char* const separator = "-";

bool isCheckable(AppCommand command)
{
    switch (command) {
    case AppCommand::TransferAscii:
    case AppCommand::TransferBinary:
    case AppCommand::TransferAuto:
    case AppCommand::PassiveOn:
    case AppCommand::PassiveOff:
    case AppCommand::CompareFolders:
    case AppCommand::HideIdentical:
    case AppCommand::CompareBySize:
    case AppCommand::CompareBySizeAndTime:
    case AppCommand::SyncBrowsing:
        return true;
    default:
        return false;
    }
}

} // namespace

MainMenu::MainMenu(QMenuBar* menuBar, LocalActions& local, RemoteActions& remote)
    : QObject(menuBar)
    , m_local(local)
    , m_remote(remote)
{
    build(menuBar);
}

QMenu* MainMenu::addMenu(QMenu* parent, QMenuBar* menuBar, const Entry& entry)
{
    QMenu* menu = parent ? parent->addMenu(QString::fromUtf8(entry.fixedCaption))
                         : menuBar->addMenu(QString::fromUtf8(entry.fixedCaption));
    menu->setObjectName(QLatin1String(entry.name));
    QAction* action = menu->menuAction();
    action->setObjectName(QLatin1String(entry.name));
    m_actions.insert(action->objectName(), action);
    if (entry.key)
        m_captionKeys.insert(action, QLatin1String(entry.key));
    else
        m_fixedCaptions.insert(action, QString::fromUtf8(entry.fixedCaption));
    return menu;
}

void MainMenu::addEntries(QMenu* menu, std::initializer_list<Entry> entries)
{
    for (const Entry& entry : entries) {
        if (entry.name == separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = nullptr;
        if (const auto* local = std::get_if<LocalCommand>(&entry.command)) {
            action = m_local.action(*local); // captioned by the pane's actions, with the same keys
        } else if (const auto* remote = std::get_if<RemoteCommand>(&entry.command)) {
            action = m_remote.action(*remote);
        } else {
            action = new QAction(QString::fromUtf8(entry.fixedCaption), this);
            action->setObjectName(QLatin1String(entry.name));
            if (entry.key)
                m_captionKeys.insert(action, QLatin1String(entry.key));
            else
                m_fixedCaptions.insert(action, QString::fromUtf8(entry.fixedCaption));
            if (const auto* command = std::get_if<AppCommand>(&entry.command)) {
                action->setCheckable(isCheckable(*command));
                action->setChecked(entry.checked);
                m_commands.insert(*command, action);
            }
        }
        if (!entry.shortcut.isEmpty())
            action->setShortcut(entry.shortcut);
        menu->addAction(action);
        m_actions.insert(QLatin1String(entry.name), action);
    }
}

void MainMenu::build(QMenuBar* menuBar)
{
    const Entry sep{separator, nullptr, ""};

    QMenu* file = addMenu(nullptr, menuBar, {"mnuFile", "Datei", "&Datei"});
    addEntries(file, {{"mnuFileExit", nullptr, "&Exit", AppCommand::Exit}});

    QMenu* connection = addMenu(nullptr, menuBar, {"mnuVerbindung", "MY_CONNECTION", "Meine &Verbindung"});
    addEntries(connection, {{"mnuVerbindungVerbinden", nullptr, "&Verbinden", AppCommand::Connect, Qt::Key_F4},
                            {"mnuVerbindungServer", "SITES_MENU", "&Serververwaltung ...", AppCommand::SiteManager,
                             Qt::CTRL | Qt::Key_S},
                            {"mnuVerbindungAlsServer", "SITES_SAVEBAR", "Als Server speichern ...", AppCommand::SaveAsSite}});
    // Filled with the last connections by the site commands.
    addMenu(connection, nullptr, {"mnuVerbindungZuletzt", "SITES_RECENT", "&Letzte Verbindungen"});
    addEntries(connection, {sep});
    QMenu* type = addMenu(connection, nullptr, {"mnuVerbindungTransfer", "TRANSFERMODUS", "&Transfermodus"});
    addEntries(type, {{"mnuVerbindungTransferASCII", "OPT_ASCII", "&ASCII", AppCommand::TransferAscii},
                      {"mnuVerbindungTransferBINARY", "OPT_BINARY", "&BINARY", AppCommand::TransferBinary},
                      {"mnuVerbindungTransferAUTO", "OPT_AUTO", "AU&TO", AppCommand::TransferAuto, {}, true}});
    QMenu* passive = addMenu(connection, nullptr, {"mnuVerbindungPassiverTransfer", "CHK_PASSIVE", "&Passiver Transfer"});
    addEntries(passive, {{"mnuVerbindungTransfertypEin", "EIN", "&Ein", AppCommand::PassiveOn},
                         {"mnuVerbindungTransfertypAus", "AUS", "&Aus", AppCommand::PassiveOff, {}, true}});
    addEntries(connection, {sep, {"mnuVerbindungASCIIListe", "ASCII_LIST_SHOW", "&ASCII Liste", AppCommand::AsciiList}});

    QMenu* local = addMenu(nullptr, menuBar, {"mnuMyComputer", "FRMLOCAL_MYCOMPUTER", "Mein &Computer"});
    addEntries(local, {{"mnuMyComputerUpload", nullptr, "", LocalCommand::Upload, Qt::Key_F2},
                       {"mnuMyComputerUploadAls", nullptr, "", LocalCommand::UploadAs},
                       sep,
                       {"mnuMyComputerOeffnen", nullptr, "", LocalCommand::Open, Qt::Key_F3},
                       {"mnuMyComputerOeffnenMit", nullptr, "", LocalCommand::OpenWith},
                       sep,
                       {"mnuMyComputerUmbenennen", nullptr, "", LocalCommand::MainMenuRename},
                       sep,
                       {"mnuMyComputerLoeschen", nullptr, "", LocalCommand::Delete, Qt::Key_Delete},
                       sep});
    QMenu* localNew = addMenu(local, nullptr, {"mnuMyComputerNeu", "FRMPULOC_NEW", "&Neu"});
    addEntries(localNew, {{"mnuMyComputerNeuOrdner", nullptr, "", LocalCommand::NewFolder}});
    addEntries(local, {sep,
                       {"mnuMyComputerAktualisieren", nullptr, "", LocalCommand::Refresh, Qt::Key_F5},
                       sep,
                       {"mnuMyComputerEigenschaften", nullptr, "", LocalCommand::Properties}});

    QMenu* server = addMenu(nullptr, menuBar, {"mnuMyServer", "FRMSERVER_FRA", "Mein &Server"});
    addEntries(server, {{"mnuMyServerDownload", nullptr, "", RemoteCommand::Download, Qt::CTRL | Qt::Key_F2},
                        {"mnuMyServerDownloadAls", nullptr, "", RemoteCommand::DownloadAs},
                        sep,
                        {"mnuMyServerOeffnen", nullptr, "", RemoteCommand::Open, Qt::CTRL | Qt::Key_F3},
                        {"mnuMyServerOeffnenMit", nullptr, "", RemoteCommand::OpenWith},
                        sep,
                        {"mnuMyServerUmbenennen", nullptr, "", RemoteCommand::Rename},
                        sep,
                        {"mnuMyServerLoeschen", nullptr, "", RemoteCommand::Delete, Qt::SHIFT | Qt::Key_Delete},
                        sep});
    QMenu* serverNew = addMenu(server, nullptr, {"mnuMyServerNeu", "FRMPUSERVER_NEW", "&Neu"});
    addEntries(serverNew, {{"mnuMyServerNeuOrdner", nullptr, "", RemoteCommand::NewFolder}});
    addEntries(server, {sep,
                        {"mnuMyServerAktualisieren", nullptr, "", RemoteCommand::Refresh, Qt::CTRL | Qt::Key_F5},
                        sep,
                        {"mnuMyServerStop", "STOP_COMMAND", "&Anhalten", AppCommand::Stop},
                        {"mnuMyServerQueue", "QUEUE_PROCESS", "Warteschlange a&barbeiten", AppCommand::ProcessQueue, Qt::Key_F9}});

    QMenu* view = addMenu(nullptr, menuBar, {"mnuAnsicht", "VIEW_MENU", "&Ansicht"});
    addEntries(view, {{"mnuAnsichtVergleichen", "COMPARE_MENU", "Ordner &vergleichen", AppCommand::CompareFolders,
                       Qt::CTRL | Qt::Key_O},
                      {"mnuAnsichtGleicheAusblenden", "COMPARE_HIDE", "&Gleiche Dateien ausblenden",
                       AppCommand::HideIdentical}});
    QMenu* compareBy = addMenu(view, nullptr, {"mnuAnsichtVergleichenNach", "COMPARE_BY", "Vergleichen &nach"});
    addEntries(compareBy, {{"mnuAnsichtNachGroesse", "COMPARE_BYSIZE", "&Größe", AppCommand::CompareBySize},
                           {"mnuAnsichtNachZeit", "COMPARE_BYTIME", "Größe und &Zeit", AppCommand::CompareBySizeAndTime,
                            {}, true}});
    addEntries(view, {sep, {"mnuAnsichtSynchron", "SYNC_MENU", "&Synchronisiertes Durchsuchen", AppCommand::SyncBrowsing,
                            Qt::CTRL | Qt::Key_Y}});

    QMenu* info = addMenu(nullptr, menuBar, {"mniInfo", nullptr, "&?"});
    QMenu* web = addMenu(info, nullptr, {"mnuInfoWeb", "MDIMAIN_WEBSITE", "&Website"});
    addEntries(web, {{"mnuInfoWebHomepage", nullptr, "&Homepage", AppCommand::Homepage}});
    addEntries(info, {{"mnuInfoInfo", nullptr, "&Info", AppCommand::About, Qt::Key_F12}});
}

void MainMenu::retranslate()
{
    for (auto it = m_captionKeys.cbegin(); it != m_captionKeys.cend(); ++it)
        it.key()->setText(getText(it.value()));
    for (auto it = m_fixedCaptions.cbegin(); it != m_fixedCaptions.cend(); ++it)
        it.key()->setText(it.value());
}

QAction* MainMenu::action(const QString& name) const
{
    return m_actions.value(name);
}
