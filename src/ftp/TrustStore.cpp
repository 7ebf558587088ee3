#include "TrustStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>

namespace {

// How long a save waits for another instance's; a lock left by a crashed one is taken over.
constexpr int lockWaitMilliseconds = 10'000;

struct Entry {
    QString host;
    quint16 port = 0;
    QByteArray sha256;
};

QList<Entry> readEntries(const QString& path)
{
    QList<Entry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entries;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() != 3)
            continue;
        bool ok = false;
        const uint port = fields[1].toUInt(&ok);
        const QByteArray sha256 = QByteArray::fromHex(fields[2]);
        if (!ok || port == 0 || port > 65535 || sha256.size() != 32)
            continue;
        entries.append({QString::fromUtf8(fields[0]), static_cast<quint16>(port), sha256});
    }
    return entries;
}

} // namespace

TrustStore::TrustStore()
    : TrustStore(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/trusted-certificates"))
{
}

TrustStore::TrustStore(QString path)
    : m_path(std::move(path))
{
}

QString TrustStore::hostKey(const QString& host)
{
    QString key = host.trimmed().toLower();
    if (key.startsWith(QLatin1Char('[')) && key.endsWith(QLatin1Char(']')))
        key = key.mid(1, key.size() - 2);
    return key;
}

std::optional<QByteArray> TrustStore::find(const QString& host, quint16 port) const
{
    const QString key = hostKey(host);
    for (const Entry& entry : readEntries(m_path)) {
        if (entry.host == key && entry.port == port)
            return entry.sha256;
    }
    return std::nullopt;
}

bool TrustStore::store(const QString& host, quint16 port, const QByteArray& sha256, QString& error) const
{
    const QString key = hostKey(host);
    // A host name holds no blanks; one that did would break the line format.
    if (key.isEmpty() || key.contains(QLatin1Char(' ')) || sha256.size() != 32) {
        error = QStringLiteral("cannot store a certificate for \"%1\"").arg(host);
        return false;
    }
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        error = QStringLiteral("cannot create the folder of %1").arg(m_path);
        return false;
    }
    // Another instance of the program may be saving too: read, merge and replace under a lock,
    // or the later rename drops what the other added.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock(lockWaitMilliseconds)) {
        error = QStringLiteral("cannot lock %1").arg(m_path);
        return false;
    }
    QList<Entry> entries = readEntries(m_path);
    entries.removeIf([&](const Entry& entry) { return entry.host == key && entry.port == port; });
    entries.append({key, port, sha256});
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    // The temporary file is the one renamed into place: it must be the user's alone from the start.
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        file.cancelWriting();
        error = QStringLiteral("cannot protect %1").arg(m_path);
        return false;
    }
    for (const Entry& entry : std::as_const(entries))
        file.write(entry.host.toUtf8() + ' ' + QByteArray::number(entry.port) + ' ' + entry.sha256.toHex() + '\n');
    if (!file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}
