#pragma once

#include <QString>

// One record of download work: a file to fetch, or a folder that is to exist locally.
struct DownloadItem {
    // remoteFolder of a file selected in the server folder the download started in.
    static inline const QString startFolderMarker = QStringLiteral("*");

    // Why an item is reported as failed without touching the server or the disk.
    enum class Refusal {
        None,
        UnusableName, // ".", "..", empty, "/" or a control character inside, not UTF-8: never a local name
        Link,         // a link to a folder: the walk does not follow it
        TooDeep,      // below the deepest level the walk goes to
    };

    QString name;         // the file name; empty for a folder
    QString remoteFolder; // startFolderMarker, the server folder holding the file, or the folder itself ("/pub/docs/")
    qint64 size = 0;
    Refusal refusal = Refusal::None;
    // A folder whose contents could not be listed (no connection, folder change or listing failed).
    bool unlisted = false;

    bool isFolder() const { return name.isEmpty(); }
    bool isInStartFolder() const { return remoteFolder == startFolderMarker; }
};
