#include "SiteCommands.h"

#include "ConnectionBar.h"
#include "ConnectionController.h"
#include "DriveList.h"
#include "JobContext.h"
#include "LocalPane.h"
#include "MainMenu.h"
#include "MainWindow.h"
#include "Prompter.h"
#include "RemotePane.h"
#include "SessionRunner.h"
#include "SiteLink.h"
#include "SiteManagerDialog.h"
#include "TextCatalogue.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>

SiteCommands::SiteCommands(MainWindow& window, SiteStore store)
    : QObject(&window)
    , m_window(window)
    , m_book(std::move(store), this)
{
    MainMenu* menu = window.mainMenu();
    connect(menu->action(AppCommand::SiteManager), &QAction::triggered, this, [this] { openManager(); });
    connect(menu->action(AppCommand::SaveAsSite), &QAction::triggered, this, &SiteCommands::saveBarAsSite);
    connect(window.connectionBar()->sitesAction(), &QAction::triggered, menu->action(AppCommand::SiteManager),
            &QAction::trigger);
    connect(&m_book, &SiteBook::recentChanged, this, &SiteCommands::fillRecentMenu);
    ConnectionController* connection = window.connection();
    // Only an attempt that really starts takes the folder along; a refused one leaves nothing behind.
    connect(connection, &ConnectionController::connectStarted, this, [this] { m_pending = m_next; });
    connect(connection, &ConnectionController::connected, this, [this] { m_book.addRecent(barSite()); });
    m_book.open(&window);
}

SiteManagerDialog* SiteCommands::openManager(const std::optional<Site>& newSite)
{
    // Modal, without a loop of its own: the session's jobs go on reporting meanwhile.
    auto* dialog = new SiteManagerDialog(m_book, &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &SiteManagerDialog::connectRequested, this, [this](const Site& site) { connectTo(site); });
    if (newSite)
        dialog->addSite(*newSite);
    dialog->open();
    return dialog;
}

void SiteCommands::saveBarAsSite()
{
    Site site = barSite();
    site.name = site.host;
    openManager(site);
}

Site SiteCommands::barSite() const
{
    const ConnectionBar* bar = m_window.connectionBar();
    Site site;
    site.protocol = bar->protocol();
    site.host = bar->address()->text().trimmed();
    site.port = parsePort(bar->port()->text()).value_or(defaultPort(site.protocol));
    site.user = bar->user()->text();
    if (site.user.isEmpty() || site.user == QLatin1String("anonymous"))
        site.logon = LogonType::Anonymous;
    site.encryption = static_cast<SiteEncryption>(bar->encryption()->currentIndex());
    site.passive = bar->passive()->isChecked();
    site.transferMode = static_cast<SiteTransferMode>(bar->transferMode()->currentIndex());
    return site;
}

void SiteCommands::fillBar(const Site& site)
{
    ConnectionBar* bar = m_window.connectionBar();
    bar->setProtocol(site.protocol);
    bar->address()->setText(site.host);
    bar->port()->setText(QString::number(site.port));
    bar->user()->setText(site.logon == LogonType::Anonymous ? QStringLiteral("anonymous") : site.user);
    bar->password()->clear();
    bar->encryption()->setCurrentIndex(static_cast<int>(site.encryption));
    bar->transferMode()->setCurrentIndex(static_cast<int>(site.transferMode));
    // As the menu's passive entries do it, so they follow; the box itself is disabled for SFTP,
    // yet the site's choice must be there when the user switches to FTP.
    if (bar->passive()->isChecked() != site.passive)
        m_window.setPassive(site.passive);
}

void SiteCommands::fillRecentMenu()
{
    QMenu* menu = m_window.mainMenu()->action(QStringLiteral("mnuVerbindungZuletzt"))->menu();
    menu->clear();
    const QList<Site>& recent = m_book.data().recent;
    for (int i = 0; i < recent.size(); ++i) {
        const Site& site = recent[i];
        const QString scheme = site.protocol == Protocol::Sftp ? QStringLiteral("sftp://") : QStringLiteral("ftp://");
        const QString host =
            site.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + site.host + QLatin1Char(']') : site.host;
        const QString user = site.logon == LogonType::Anonymous ? QString() : site.user + QLatin1Char('@');
        // "&1" to "&9" and "1&0": each entry has its key. An "&" in a name stays a character.
        const QString number = i < 9 ? QStringLiteral("&%1 ").arg(i + 1) : QStringLiteral("1&0 ");
        QString text = scheme + user + host + QLatin1Char(':') + QString::number(site.port);
        QAction* action = menu->addAction(number + text.replace(QLatin1Char('&'), QStringLiteral("&&")));
        action->setObjectName(QStringLiteral("mnuVerbindungZuletzt%1").arg(i + 1));
        connect(action, &QAction::triggered, this, [this, site] { fillBar(site); });
    }
    menu->menuAction()->setEnabled(!recent.isEmpty());
}

void SiteCommands::connectTo(const Site& site, std::optional<QString> password, const QString& fileFolder)
{
    if (password) {
        start(site, *password, fileFolder);
        return;
    }
    QPointer<SiteCommands> self(this);
    m_book.findPassword(site, [self, site, fileFolder](std::optional<QString> found) {
        if (self && found)
            self->start(site, *found, fileFolder);
    });
}

void SiteCommands::start(const Site& site, const QString& password, const QString& fileFolder)
{
    fillBar(site);
    m_window.connectionBar()->password()->setText(password);
    openLocalFolder(site.localFolder);
    m_next = StartFolder{site.remoteFolder, fileFolder};
    m_window.connection()->connectToServer(ConnectVariant::Menu);
    m_next.reset();
}

void SiteCommands::openLocalFolder(const QString& folder)
{
    const auto withSlash = [](const QString& path) {
        return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    };
    if (folder.isEmpty() || !QDir(folder).exists())
        return;
    const QString wanted = withSlash(QDir::cleanPath(folder));
    // The pane browses one drive at a time: the one whose root the folder lies deepest under.
    std::optional<Drive> best;
    for (const Drive& drive : availableDrives()) {
        if (wanted.startsWith(withSlash(drive.root)) && (!best || drive.root.size() > best->root.size()))
            best = drive;
    }
    LocalPane* local = m_window.localPane();
    if (!best)
        return;
    if (withSlash(local->driveRoot()) != withSlash(best->root))
        local->changeDrive(best->root);
    local->choosePath(wanted);
}

bool SiteCommands::openLink(const QString& text)
{
    QString reason;
    const std::optional<SiteLink> link = parseSiteLink(text, reason);
    if (!link) {
        // The link is not repeated: it may hold a password.
        showMessage(&m_window, getText("LINK_BAD") + QLatin1Char('\n') + getText(reason), PromptIcon::Exclamation);
        return false;
    }
    std::optional<QString> password;
    if (!link->password.isEmpty() || link->site.logon == LogonType::Anonymous)
        password = link->password.isEmpty() ? QStringLiteral("anonymous@") : link->password;
    else if (!(password = m_book.askPassword(link->site.user, link->site.host)))
        return false;
    connectTo(link->site, password, link->fileFolder);
    return true;
}

bool SiteCommands::listStartFolder()
{
    const std::optional<StartFolder> start = std::exchange(m_pending, std::nullopt);
    if (!start || start->folder.isEmpty())
        return false;
    QPointer<RemotePane> remote(m_window.remotePane());
    if (start->fileFolder.isEmpty()) {
        remote->changeFolder(start->folder);
        return true;
    }
    // A link's path may name a file: then its folder is shown.
    m_window.runner()->start<bool>(
        [folder = start->folder](JobContext& context) { return context.session().setDir(folder); },
        [remote, start](bool isFolder) {
            if (remote)
                remote->changeFolder(isFolder ? start->folder : start->fileFolder);
        });
    return true;
}
