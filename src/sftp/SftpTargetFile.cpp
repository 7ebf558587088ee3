#include "SftpTargetFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t newFileMode = 0666; // narrowed by the umask, like any file the user creates
constexpr int nameAttempts = 16;

QByteArray randomSuffix()
{
    return QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

} // namespace

SftpTargetFile::SftpTargetFile(QString targetPath)
    : m_target(std::move(targetPath))
    , m_targetBytes(QFile::encodeName(m_target))
    , m_directoryBytes(QFile::encodeName(QFileInfo(m_target).absolutePath()))
{
}

SftpTargetFile::~SftpTargetFile()
{
    discard();
}

bool SftpTargetFile::fail(const QString& what, int code)
{
    m_error = QStringLiteral("%1 %2: %3").arg(what, m_target, QString::fromLocal8Bit(std::strerror(code)));
    return false;
}

bool SftpTargetFile::open()
{
    // Past a file-size limit (ulimit -f) a write raises SIGXFSZ, which would end the program;
    // ignored, the write fails with EFBIG and the download fails like any other.
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
    discard();
    m_descriptor = ::open(m_directoryBytes.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, newFileMode);
    for (int attempt = 0; m_descriptor < 0 && attempt < nameAttempts; ++attempt) {
        const QByteArray name = m_directoryBytes + "/." + QFile::encodeName(QFileInfo(m_target).fileName()) + '.'
            + randomSuffix() + ".part";
        m_descriptor = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, newFileMode);
        if (m_descriptor >= 0)
            m_temporaryName = name;
        else if (errno != EEXIST)
            break;
    }
    if (m_descriptor < 0)
        return fail(QStringLiteral("cannot write"), errno);
    // A replaced file keeps its permission bits, but not set-user-ID, set-group-ID or sticky.
    struct stat existing {};
    if (::lstat(m_targetBytes.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(m_descriptor, existing.st_mode & 0777);
    return true;
}

bool SftpTargetFile::writeAt(qint64 offset, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(m_descriptor, data, static_cast<size_t>(size), static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail(QStringLiteral("cannot write"), errno);
        }
        data += written;
        offset += written;
        size -= written;
    }
    return true;
}

bool SftpTargetFile::commit()
{
    if (m_descriptor < 0)
        return false;
    if (m_temporaryName.isEmpty()) {
        // Give the unnamed file a name first: linkat cannot replace an existing target.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_descriptor);
        for (int attempt = 0; attempt < nameAttempts && m_temporaryName.isEmpty(); ++attempt) {
            const QByteArray name = m_directoryBytes + "/." + randomSuffix() + ".part";
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
                m_temporaryName = name;
            else if (errno != EEXIST)
                return fail(QStringLiteral("cannot write"), errno);
        }
        if (m_temporaryName.isEmpty())
            return fail(QStringLiteral("cannot write"), EEXIST);
    }
    const int closed = ::close(m_descriptor);
    m_descriptor = -1;
    if (closed != 0)
        return fail(QStringLiteral("cannot write"), errno);
    if (::rename(m_temporaryName.constData(), m_targetBytes.constData()) != 0)
        return fail(QStringLiteral("cannot replace"), errno);
    m_temporaryName.clear();
    return true;
}

void SftpTargetFile::discard()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    if (!m_temporaryName.isEmpty())
        ::unlink(m_temporaryName.constData());
    m_temporaryName.clear();
}
