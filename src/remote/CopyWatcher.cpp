#include "CopyWatcher.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

// The hash of a plain file's content; empty when there is no such file to read (between the
// steps of a save, the file may be missing).
QByteArray contentHash(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return hash.addData(&file) ? hash.result() : QByteArray();
}

std::pair<quint64, quint64> identityOf(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

} // namespace

CopyWatcher::CopyWatcher(std::chrono::milliseconds settle, QObject* parent)
    : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settle);
    connect(&m_settle, &QTimer::timeout, this, &CopyWatcher::readSettled);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CopyWatcher::touched);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &CopyWatcher::folderTouched);
}

void CopyWatcher::watch(const QString& path)
{
    Copy& copy = m_copies[path];
    copy.content = contentHash(path);
    m_touched.remove(path);
    follow(path, copy);
    const QString folder = QFileInfo(path).path();
    if (!m_watcher.directories().contains(folder))
        m_watcher.addPath(folder);
}

void CopyWatcher::forgetContent(const QString& path)
{
    if (m_copies.contains(path))
        m_copies[path].content.clear();
}

void CopyWatcher::touched(const QString& path)
{
    if (!m_copies.contains(path))
        return;
    m_touched.insert(path);
    m_settle.start();
}

void CopyWatcher::folderTouched(const QString& folder)
{
    for (auto it = m_copies.cbegin(); it != m_copies.cend(); ++it) {
        if (QFileInfo(it.key()).path() == folder)
            m_touched.insert(it.key());
    }
    if (!m_touched.isEmpty())
        m_settle.start();
}

void CopyWatcher::readSettled()
{
    const QSet<QString> touched = std::exchange(m_touched, {});
    for (const QString& path : touched) {
        // A receiver may have stopped following other paths meanwhile.
        if (!m_copies.contains(path))
            continue;
        Copy& copy = m_copies[path];
        follow(path, copy);
        const QByteArray content = contentHash(path);
        if (!content.isEmpty() && content != copy.content) {
            copy.content = content;
            Q_EMIT contentChanged(path);
        }
        Q_EMIT settled(path);
    }
}

void CopyWatcher::follow(const QString& path, Copy& copy)
{
    const std::pair<quint64, quint64> identity = identityOf(path);
    if (identity == std::pair<quint64, quint64>{})
        return;
    if (identity == copy.identity && m_watcher.files().contains(path))
        return;
    // The watch may still sit on the old file, which an editor that holds it open keeps alive.
    m_watcher.removePath(path);
    if (m_watcher.addPath(path))
        copy.identity = identity;
}
