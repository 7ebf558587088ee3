#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <chrono>
#include <utility>

// Watches local files that other programs edit, and says once per save when a file's content
// differs from the content it last knew. A save is a burst of events: written in place; written
// to a new file that is renamed over the old one; or the old one renamed to a backup name and a
// new one written. Each path is read only after it has been quiet for the settle time, and
// compared by a hash, so a save that leaves the content as it was (a touch) says nothing.
// The folder of each file is watched too: a file renamed over, or written anew, is a new file
// that the watch of the old one does not see.
class CopyWatcher : public QObject
{
    Q_OBJECT

public:
    explicit CopyWatcher(std::chrono::milliseconds settle, QObject* parent = nullptr);

    // Watches path from now on (again); its present content is the one known.
    void watch(const QString& path);
    // The next settled read of path reports it even when the content is the one reported last.
    void forgetContent(const QString& path);

Q_SIGNALS:
    // path has settled with a content other than the one known, which it now is.
    void contentChanged(const QString& path);
    // path has settled and was read (after contentChanged, when it changed).
    void settled(const QString& path);

private:
    struct Copy {
        QByteArray content; // the hash of the known content; empty: none known
        std::pair<quint64, quint64> identity{}; // device and inode the file watch is on
    };

    void touched(const QString& path);
    void folderTouched(const QString& folder);
    void readSettled();
    // Puts the file watch on the file that is at path now, after a rename over it.
    void follow(const QString& path, Copy& copy);

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QHash<QString, Copy> m_copies;
    QSet<QString> m_touched;
};
