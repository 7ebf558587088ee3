#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The rules that turn server paths and names into local paths during a download.
namespace DownloadPaths {

// The folder names along a server folder path that begins and ends with "/": "/pub/docs/" gives
// pub and docs, "/" gives none. The text after the last "/" yields nothing. Empty names between
// two "/" are kept, so that isUsableLocalName() can refuse them.
QStringList splitFolderNames(QStringView folderPath);

// Whether a name that came from the server may become one step of a local path: not empty, not
// "." or "..", without "/" and control characters (NUL, CR, LF, ...), and decoded without loss.
// Anything else could leave the target folder, land in another place than the server meant, or
// make a local name no server name matches: names that differ only in bytes that are not UTF-8
// would all become the same local file.
bool isUsableLocalName(QStringView name);

// True when every name is usable (see above).
bool areUsableLocalNames(const QStringList& names);

// path with a "/" at its end, unless it has one already.
QString withTrailingSlash(const QString& path);

} // namespace DownloadPaths
