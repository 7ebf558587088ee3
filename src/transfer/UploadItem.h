#pragma once

#include <QString>
#include <QStringList>

// One record of upload work: a file to send, or a folder that is to exist on the server.
struct UploadItem {
    // Why an item is reported as failed without touching the server.
    enum class Refusal {
        None,
        FolderLink, // a link to a folder found by the walk: not followed, so a loop cannot make it endless
        // A local name whose bytes are not UTF-8: it shows, and would go to the server, as another
        // name, which two such files might share.
        UnencodableName,
    };

    QString name;              // the file name; empty for a folder
    QString localFolder;       // a file's folder; a folder item's own path, ending in "/"
    QStringList remoteFolders; // the folders below the server's start folder that lead to the item
    qint64 size = 0;           // of a file, when the walk found it (for the progress only)
    Refusal refusal = Refusal::None;

    bool isFolder() const { return name.isEmpty(); }
    // A file's local path: its folder and name, joined by "/" unless the folder ends in one.
    QString localPath() const
    {
        return localFolder.endsWith(QLatin1Char('/')) ? localFolder + name : localFolder + QLatin1Char('/') + name;
    }
};
