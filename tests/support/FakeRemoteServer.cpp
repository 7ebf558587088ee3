#include "FakeRemoteServer.h"

#include <QDir>
#include <QFile>

namespace {

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

// Writes into the server's file as the data comes; a text upload is stored with the line ends of
// a Unix server, LF.
class MemoryUpload final : public UploadStream
{
public:
    MemoryUpload(QByteArray& target, bool text)
        : m_target(target)
        , m_text(text)
    {
        m_target.clear();
    }
    bool write(const char* data, qint64 size) override
    {
        m_target.append(data, size);
        return true;
    }
    bool close() override
    {
        if (m_text)
            m_target.replace("\r\n", "\n");
        return true;
    }

private:
    QByteArray& m_target;
    bool m_text;
};

} // namespace

void FakeRemoteServer::addFolder(const QString& path)
{
    if (path.isEmpty() || m_folders.contains(path))
        return;
    addFolder(parentOf(path));
    m_folders.append(path);
}

void FakeRemoteServer::addFile(const QString& path, const QByteArray& content)
{
    addFolder(parentOf(path));
    m_files.insert(path, content);
}

void FakeRemoteServer::addLink(const QString& path, const QString& target)
{
    addFolder(parentOf(path));
    m_links.insert(path, target);
}

void FakeRemoteServer::removeEntry(const QString& path)
{
    const QString below = path + QLatin1Char('/');
    m_folders.removeIf([&](const QString& folder) { return folder == path || folder.startsWith(below); });
    m_files.removeIf([&](const auto& file) { return file.key() == path || file.key().startsWith(below); });
    m_links.remove(path);
}

bool FakeRemoteServer::exists(const QString& path) const
{
    return m_folders.contains(path) || m_files.contains(path) || m_links.contains(path);
}

QString FakeRemoteServer::resolve(const QString& name) const
{
    const QString path =
        QDir::cleanPath(name.startsWith(QLatin1Char('/')) ? name : m_current + QLatin1Char('/') + name);
    // A link to a folder leads into its target.
    return m_links.value(path, path);
}

bool FakeRemoteServer::call(const QString& what)
{
    calls.append(what);
    return m_connected;
}

bool FakeRemoteServer::refuse(const char* command, const QString& name)
{
    calls.append(QLatin1String(command) + QLatin1Char(' ') + name);
    return false;
}

bool FakeRemoteServer::openConnection(const ConnectionSettings&)
{
    calls.append(QStringLiteral("LOGIN"));
    m_current = QStringLiteral("/");
    return m_connected = true;
}

bool FakeRemoteServer::createDir(const QString& name)
{
    const QString path = resolve(name);
    if (!call(QStringLiteral("MKD ") + name) || exists(path) || !m_folders.contains(parentOf(path)))
        return false;
    m_folders.append(path);
    return true;
}

bool FakeRemoteServer::rename(const QString& oldName, const QString& newName)
{
    const QString from = resolve(oldName);
    const QString to = resolve(newName);
    if (!call(QStringLiteral("RNFR ") + oldName) || !m_files.contains(from) || m_folders.contains(to))
        return false;
    m_files.insert(to, m_files.take(from));
    return true;
}

bool FakeRemoteServer::setDir(const QString& directory)
{
    const QString path = resolve(directory);
    if (!call(QStringLiteral("CWD ") + directory) || !m_folders.contains(path))
        return false;
    m_current = path;
    return true;
}

bool FakeRemoteServer::get(const QString& localPath, const QString& name, const Progress&)
{
    QFile file(localPath);
    return call(QStringLiteral("RETR ") + name) && m_files.contains(resolve(name))
        && file.open(QIODevice::WriteOnly) && file.write(m_files.value(resolve(name))) >= 0;
}

std::unique_ptr<UploadStream> FakeRemoteServer::openForUpload(const QString& remoteName, TransferFlag flag)
{
    calls.append(flag == TransferFlag::Ascii ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I"));
    if (!call(QStringLiteral("STOR ") + remoteName))
        return nullptr;
    return std::make_unique<MemoryUpload>(m_files[resolve(remoteName)], flag == TransferFlag::Ascii);
}

std::optional<QList<RemoteEntry>> FakeRemoteServer::list()
{
    // A folder removed under the session cannot be listed, as on a real server.
    if (!call(QStringLiteral("LIST")) || !m_folders.contains(m_current))
        return std::nullopt;
    QList<RemoteEntry> entries;
    const auto add = [&](const QString& path, bool folder, qint64 size, const QString& target) {
        if (parentOf(path) != m_current || path == QLatin1String("/"))
            return;
        RemoteEntry entry;
        entry.name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        entry.isDirectory = folder;
        entry.isLink = !target.isEmpty();
        entry.linkTarget = target;
        entry.attributes = folder ? FileAttribute::directory : FileAttribute::normal;
        entry.size = size;
        entry.lastWrite = QDateTime(QDate(2005, 3, 5), QTime(14, 7), Qt::UTC);
        entries.append(entry);
    };
    for (const QString& folder : std::as_const(m_folders))
        add(folder, true, 0, {});
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
        add(it.key(), false, it.value().size(), {});
    for (auto it = m_links.cbegin(); it != m_links.cend(); ++it)
        add(it.key(), false, 0, it.value());
    return entries;
}
