#include "MainMenu.h"

#include "TextCatalogue.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

struct MainMenu::Entry {
    const char* name;
    const char* key;          // looked up; nullptr for a fixed caption
    const char* fixedCaption; // also the default caption shown before the lookup
    QKeySequence shortcut = {};
    bool checkable = false;
    bool checked = false;
};

namespace {
const char* const separator = "-";
}

MainMenu::MainMenu(QMenuBar* menuBar)
    : QObject(menuBar)
{
    build(menuBar);
}

QMenu* MainMenu::addMenu(QMenu* parent, QMenuBar* menuBar, const Entry& entry)
{
    QMenu* menu = parent ? parent->addMenu(QString::fromUtf8(entry.fixedCaption))
                         : menuBar->addMenu(QString::fromUtf8(entry.fixedCaption));
    menu->setObjectName(QLatin1String(entry.name));
    registerEntry(menu->menuAction(), entry);
    return menu;
}

QAction* MainMenu::addAction(QMenu* menu, const Entry& entry)
{
    if (entry.name == separator) {
        menu->addSeparator();
        return nullptr;
    }
    QAction* action = menu->addAction(QString::fromUtf8(entry.fixedCaption));
    action->setShortcut(entry.shortcut);
    action->setCheckable(entry.checkable);
    action->setChecked(entry.checked);
    registerEntry(action, entry);
    return action;
}

void MainMenu::registerEntry(QAction* action, const Entry& entry)
{
    action->setObjectName(QLatin1String(entry.name));
    m_actions.insert(action->objectName(), action);
    if (entry.key)
        m_captionKeys.insert(action, QLatin1String(entry.key));
    else
        m_fixedCaptions.insert(action, QString::fromUtf8(entry.fixedCaption));
}

void MainMenu::build(QMenuBar* menuBar)
{
    const Entry sep{separator, nullptr, ""};
    auto addAll = [this](QMenu* menu, std::initializer_list<Entry> entries) {
        for (const Entry& entry : entries)
            addAction(menu, entry);
    };

    QMenu* file = addMenu(nullptr, menuBar, {"mnuFile", "Datei", "&Datei"});
    addAll(file, {{"mnuFileExit", nullptr, "&Exit"}});

    QMenu* connection = addMenu(nullptr, menuBar, {"mnuVerbindung", "MY_CONNECTION", "Meine &Verbindung"});
    addAll(connection, {{"mnuVerbindungVerbinden", nullptr, "&Verbinden", QKeySequence(Qt::Key_F4)}, sep});
    QMenu* type = addMenu(connection, nullptr, {"mnuVerbindungTransfer", "TRANSFERMODUS", "&Transfermodus"});
    addAll(type, {{"mnuVerbindungTransferASCII", "OPT_ASCII", "&ASCII", {}, true, false},
                  {"mnuVerbindungTransferBINARY", "OPT_BINARY", "&BINARY", {}, true, false},
                  {"mnuVerbindungTransferAUTO", "OPT_AUTO", "AU&TO", {}, true, true}});
    QMenu* passive = addMenu(connection, nullptr, {"mnuVerbindungPassiverTransfer", "CHK_PASSIVE", "&Passiver Transfer"});
    addAll(passive, {{"mnuVerbindungTransfertypEin", "EIN", "&Ein", {}, true, false},
                     {"mnuVerbindungTransfertypAus", "AUS", "&Aus", {}, true, true}});
    addAll(connection, {sep, {"mnuVerbindungASCIIListe", "ASCII_LIST_SHOW", "&ASCII Liste"}});

    QMenu* local = addMenu(nullptr, menuBar, {"mnuMyComputer", "FRMLOCAL_MYCOMPUTER", "Mein &Computer"});
    addAll(local, {{"mnuMyComputerUpload", "FRMPULOC_UPLOAD", "&Upload", QKeySequence(Qt::Key_F2)},
                   {"mnuMyComputerUploadAls", "FRMPULOC_UPLOADAS", "U&pload als ..."},
                   sep,
                   {"mnuMyComputerOeffnen", "FRMPULOC_OPEN", "&Öffnen", QKeySequence(Qt::Key_F3)},
                   {"mnuMyComputerOeffnenMit", "FRMPULOC_OPENWITH", "Öffnen &mit ..."},
                   sep,
                   {"mnuMyComputerUmbenennen", "FRMPULOC_RENAME", "&Umbenennen"},
                   sep,
                   {"mnuMyComputerLoeschen", "FRMPULOC_DELETE", "&Löschen", QKeySequence(Qt::Key_Delete)},
                   sep});
    QMenu* localNew = addMenu(local, nullptr, {"mnuMyComputerNeu", "FRMPULOC_NEW", "&Neu"});
    addAll(localNew, {{"mnuMyComputerNeuOrdner", "FRMPULOC_NEWFOLDER", "&Ordner"}});
    addAll(local, {sep,
                   {"mnuMyComputerAktualisieren", "FRMPULOC_REFRESH", "&Aktualisieren", QKeySequence(Qt::Key_F5)},
                   sep,
                   {"mnuMyComputerEigenschaften", "FRMPULOC_PROP", "&Eigenschaften"}});

    QMenu* server = addMenu(nullptr, menuBar, {"mnuMyServer", "FRMSERVER_FRA", "Mein &Server"});
    addAll(server, {{"mnuMyServerDownload", "FRMPUSERVER_DOWNLOAD", "&Download", QKeySequence(Qt::CTRL | Qt::Key_F2)},
                    {"mnuMyServerDownloadAls", "FRMPUSERVER_DOWNLOADAS", "D&ownload als ..."},
                    sep,
                    {"mnuMyServerOeffnen", "FRMPUSERVER_OPEN", "&Öffnen", QKeySequence(Qt::CTRL | Qt::Key_F3)},
                    {"mnuMyServerOeffnenMit", "FRMPUSERVER_OPENWITH", "Öffnen &mit ..."},
                    sep,
                    {"mnuMyServerUmbenennen", "FRMPUSERVER_RENAME", "&Umbenennen"},
                    sep,
                    {"mnuMyServerLoeschen", "FRMPUSERVER_DELETE", "&Löschen", QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
                    sep});
    QMenu* serverNew = addMenu(server, nullptr, {"mnuMyServerNeu", "FRMPUSERVER_NEW", "&Neu"});
    addAll(serverNew, {{"mnuMyServerNeuOrdner", "FRMPUSERVER_NEWFOLDER", "&Ordner"}});
    addAll(server, {sep, {"mnuMyServerAktualisieren", "FRMPUSERVER_REFRESH", "&Aktualisieren",
                          QKeySequence(Qt::CTRL | Qt::Key_F5)}});

    QMenu* info = addMenu(nullptr, menuBar, {"mniInfo", nullptr, "&?"});
    QMenu* web = addMenu(info, nullptr, {"mnuInfoWeb", "MDIMAIN_WEBSITE", "&Website"});
    addAll(web, {{"mnuInfoWebHomepage", nullptr, "&Homepage"}});
    addAll(info, {{"mnuInfoInfo", nullptr, "&Info", QKeySequence(Qt::Key_F12)}});
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
