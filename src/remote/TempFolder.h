#pragma once

#include <QString>
#include <QStringList>

// The folder "tempcorvc" that receives remote files downloaded for opening. It belongs to the
// user alone: created with mode 0700, and an existing one is used only when it is a real folder
// (not a link) owned by the user; a looser mode is tightened to 0700.
namespace TempFolder {

inline const QString folderName = QStringLiteral("tempcorvc");

// The places tried in turn: the user's cache folder (XDG_CACHE_HOME), XDG_RUNTIME_DIR, the
// user's temporary location. makeTempFileIn() makes the cache folder when it is missing.
QStringList candidateParents();

// The full path of an empty file called name in the first usable "tempcorvc" below parents,
// created when missing and left unchanged when present; empty when no place allows it, or when
// name could leave the folder (empty, ".", "..", "/", NUL). With a subfolder, the file goes into
// that folder of "tempcorvc", made private in the same way: files of one name from different
// server folders stay apart. Never shows a message. A "tempcorvc" made here for nothing is
// removed again while empty.
QString makeTempFile(const QString& name, const QStringList& parents, const QString& subfolder = {});
// The same below candidateParents().
QString makeTempFileIn(const QString& subfolder, const QString& name);

} // namespace TempFolder
