#pragma once

#include "SiteBook.h"

#include <QObject>

#include <optional>

class MainWindow;
class SiteManagerDialog;

// The main window's commands on saved sites: the site manager, saving what the connection bar
// holds, the recent connections, connecting to a site or a link, and opening the site's folders
// once connected.
class SiteCommands : public QObject
{
    Q_OBJECT

public:
    // Reads the sites and wires the menu entries and the toolbar button of window.
    explicit SiteCommands(MainWindow& window, SiteStore store = {});

    SiteBook& book() { return m_book; }

    // Opens the site manager (not modal); with a site, that site is added and chosen.
    SiteManagerDialog* openManager(const std::optional<Site>& newSite = std::nullopt);
    // Opens the site manager with a new site made of the connection bar's values.
    void saveBarAsSite();
    // Puts a site's values into the connection bar, without its password.
    void fillBar(const Site& site);
    // Fills the bar and connects; the password is found (or asked) unless given. After the
    // connect the remote pane shows the site's folder, or, when fileFolder is given and the
    // folder cannot be entered, fileFolder (a link to a file).
    void connectTo(const Site& site, std::optional<QString> password = std::nullopt, const QString& fileFolder = {});
    // Connects to an ftp:// or sftp:// link; a bad link is refused with a message (false).
    bool openLink(const QString& text);

    // After a connect: lists the folder the site or link asked for; false when none waits.
    bool listStartFolder();

private:
    struct StartFolder {
        QString folder;
        QString fileFolder;
    };

    void start(const Site& site, const QString& password, const QString& fileFolder);
    // Shows folder in the local pane, on the drive that holds it; a folder that is gone is left.
    void openLocalFolder(const QString& folder);
    // The connection bar's values as a site.
    Site barSite() const;
    void fillRecentMenu();

    MainWindow& m_window;
    SiteBook m_book;
    // The folder the next connect attempt opens, and the one the running attempt opens.
    std::optional<StartFolder> m_next;
    std::optional<StartFolder> m_pending;
};
