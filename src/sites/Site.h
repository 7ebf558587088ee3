#pragma once

#include "Protocol.h"

#include <QList>
#include <QMetaType>
#include <QString>

// How a site logs in.
enum class LogonType {
    Normal,    // user and password; the password kept in the desktop keyring when the user lets it
    Ask,       // the password is asked at every connect and kept nowhere
    Anonymous, // the user "anonymous"
};

// FTP encryption, in the order of the connection bar's choice.
enum class SiteEncryption { Plain, IfAvailable, Required };

// The transfer type of uploads, in the order of the connection bar's box.
enum class SiteTransferMode { Ascii, Binary, Auto };

// A saved server. It never holds a password: that lives in the keyring under the site's id.
struct Site {
    QString id; // the key of its password in the keyring; unique and never reused
    QString name;
    Protocol protocol = Protocol::Ftp;
    QString host;
    quint16 port = defaultPort(Protocol::Ftp);
    QString user;
    LogonType logon = LogonType::Normal;
    bool savePassword = false; // unticked until the user ticks it
    SiteEncryption encryption = SiteEncryption::IfAvailable;
    bool passive = true;
    SiteTransferMode transferMode = SiteTransferMode::Auto;
    QString localFolder;  // opened in the local pane on connect; empty: left as it is
    QString remoteFolder; // listed on connect; empty: the server's first folder
    int maxTransfers = 2; // 1 to 10 transfers with this server at once
    QString comment;

    bool operator==(const Site&) const = default;

    // A new id for a new site or a copy.
    static QString newId();
};

// A folder of sites, with folders inside; the root folder has no name.
struct SiteFolder {
    QString name;
    QList<SiteFolder> folders;
    QList<Site> sites;

    bool operator==(const SiteFolder&) const = default;

    // Every site of this folder and the folders inside it.
    QList<Site> allSites() const;
};

// What the program keeps between runs: the sites and the last connections (newest first).
struct SiteData {
    SiteFolder root;
    QList<Site> recent;

    bool operator==(const SiteData&) const = default;
};

Q_DECLARE_METATYPE(Site)

// How many recent connections are kept.
constexpr int recentConnectionCount = 10;
