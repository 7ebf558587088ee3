#pragma once

#include <QString>

#include <atomic>
#include <functional>

// The file-system steps of the local commands. None of them follows a symbolic link: a link is
// counted, renamed and removed as the link itself, and what it points to is never touched.

// What lies in a tree: the entry itself and everything below it.
struct TreeCount {
    qint64 files = 0;   // everything that is not a folder (links included)
    qint64 folders = 0;
    qint64 bytes = 0;   // the sizes of the files; only counted when asked for
};

enum class CountSizes { No, Yes };

// Counts path and, when it is a folder, everything below it. Stops early, with what it has
// counted so far, once cancelled is set. A path that cannot be read counts as nothing.
TreeCount countTree(const QString& path, CountSizes sizes, const std::atomic<bool>& cancelled);

// How a removal ended: the first entry that could not be removed and why.
struct RemoveOutcome {
    bool removed = true;
    QString failedPath;
    QString error;
};

// Removes path for good: a file or a link itself, or a folder with everything below it. An
// entry that cannot be removed is left with its folders above it, and the rest is removed
// anyway (as rm -rf does); one that is gone already counts as removed. removedOne is called
// after each entry removed. Neither walk depends on the depth of the tree.
RemoveOutcome removeTree(const QString& path, const std::function<void()>& removedOne,
                         const std::atomic<bool>& cancelled);

// A name that names one entry inside a folder: not empty, no "/" or NUL, not "." or "..".
bool isSingleName(const QString& name);

// Renames from to to in one atomic step that never replaces an existing entry; files, folders
// and links alike, keeping permissions and times. error gets the system's reason on failure.
bool renameWithoutReplacing(const QString& from, const QString& to, QString* error = nullptr);

// The system's text for an errno value.
QString systemErrorText(int error);
