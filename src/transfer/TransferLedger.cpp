#include "TransferLedger.h"

#include <QFile>

#include <optional>

#include <sys/stat.h>

namespace {

std::optional<std::pair<quint64, quint64>> fileIdentity(const QString& path, qint64* size = nullptr)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    if (size)
        *size = static_cast<qint64>(status.st_size);
    return std::pair{static_cast<quint64>(status.st_dev), static_cast<quint64>(status.st_ino)};
}

} // namespace

bool TransferLedger::isWritten(qint64 batch, const QString& localPath) const
{
    const auto identity = fileIdentity(localPath);
    std::lock_guard lock(m_mutex);
    const auto files = m_written.constFind(batch);
    return identity && files != m_written.cend() && files->count(*identity) > 0;
}

qint64 TransferLedger::written(qint64 batch, const QString& localPath)
{
    qint64 size = -1;
    if (const auto identity = fileIdentity(localPath, &size)) {
        std::lock_guard lock(m_mutex);
        m_written[batch].insert(*identity);
    }
    return size;
}
