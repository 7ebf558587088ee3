#include "DownloadFile.h"

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

// Under a file-size limit (ulimit -f) a write past it raises SIGXFSZ, which ends the program.
// Ignored, the write fails with EFBIG instead, and the download fails like any other. Set here,
// where the engine writes files, so that every program built on it gets it.
void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

} // namespace

DownloadFile::DownloadFile(QString targetPath)
    : m_target(std::move(targetPath))
    , m_targetBytes(QFile::encodeName(m_target))
    , m_directoryBytes(QFile::encodeName(QFileInfo(m_target).absolutePath()))
{
}

DownloadFile::~DownloadFile()
{
    discard();
}

bool DownloadFile::fail(const QString& what, int code)
{
    m_error = QStringLiteral("%1 %2: %3").arg(what, m_target, QString::fromLocal8Bit(std::strerror(code)));
    return false;
}

bool DownloadFile::open()
{
    ignoreFileSizeSignal();
    discard();
    m_descriptor = ::open(m_directoryBytes.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, newFileMode);
    // Not every file system has unnamed files; then a hidden name beside the target.
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
    // A replaced file keeps its permission bits, but not set-user-ID, set-group-ID or sticky: a
    // program fetched from a server must not run with another's rights. A link is replaced, not
    // followed, so its target's mode does not count.
    struct stat existing {};
    if (::lstat(m_targetBytes.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(m_descriptor, existing.st_mode & 0777);
    return true;
}

bool DownloadFile::write(const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_descriptor, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail(QStringLiteral("cannot write"), errno);
        }
        data += written;
        size -= written;
    }
    return true;
}

bool DownloadFile::writeAt(qint64 offset, const char* data, qint64 size)
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

bool DownloadFile::commit()
{
    if (m_descriptor < 0)
        return false;
    if (m_temporaryName.isEmpty()) {
        // Give the unnamed file a name first: linkat cannot replace an existing target.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_descriptor);
        for (int attempt = 0; attempt < nameAttempts; ++attempt) {
            const QByteArray name = m_directoryBytes + "/." + randomSuffix() + ".part";
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
                m_temporaryName = name;
                break;
            }
            if (errno != EEXIST)
                return fail(QStringLiteral("cannot write"), errno);
        }
        if (m_temporaryName.isEmpty())
            return fail(QStringLiteral("cannot write"), EEXIST);
    }
    if (::close(m_descriptor) != 0) {
        m_descriptor = -1;
        return fail(QStringLiteral("cannot write"), errno);
    }
    m_descriptor = -1;
    if (::rename(m_temporaryName.constData(), m_targetBytes.constData()) != 0)
        return fail(QStringLiteral("cannot replace"), errno);
    m_temporaryName.clear();
    return true;
}

void DownloadFile::discard()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    if (!m_temporaryName.isEmpty())
        ::unlink(m_temporaryName.constData());
    m_temporaryName.clear();
}
