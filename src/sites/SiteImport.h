#pragma once

#include "Site.h"

#include <QHash>
#include <QStringList>

class QIODevice;

// What an import of another client's site list brought.
struct SiteImport {
    bool readable = false; // false: not such a file at all
    SiteFolder root;       // the folders and sites that came in, with new ids
    QHash<QString, QString> passwords; // site id to password: for the keyring, never for a file
    int imported = 0;
    QStringList skipped;   // "name: reason", in the file's order
};

// Reads the sitemanager.xml of the most used desktop FTP client: folders, sites, protocol,
// log-on type, passive mode, folders to open, comments and passwords (plain or base64).
SiteImport importSiteManagerXml(QIODevice& file);
