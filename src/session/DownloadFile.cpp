#include "DownloadFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr mode_t newFileMode = 0666; // narrowed by the umask, like any file the user creates
constexpr int nameAttempts = 16;
// "<name>.part" and "<name>.1.part" to "<name>.99.part".
constexpr int partialNames = 100;
// Where a partial keeps the facts of the remote file it began from: "size;milliseconds", each
// "-" when unknown.
constexpr char originAttribute[] = "user.ftpclient.origin";

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
    m_partial = false;
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
    keepTargetMode();
    return true;
}

void DownloadFile::keepTargetMode()
{
    // A replaced file keeps its permission bits, but not set-user-ID, set-group-ID or sticky: a
    // program fetched from a server must not run with another's rights. A link is replaced, not
    // followed, so its target's mode does not count.
    struct stat existing {};
    if (::lstat(m_targetBytes.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(m_descriptor, existing.st_mode & 0777);
}

bool DownloadFile::openPartial(const QString& preferred)
{
    ignoreFileSizeSignal();
    discard();
    const QByteArray stem = m_directoryBytes + '/' + QFile::encodeName(QFileInfo(m_target).fileName());
    QList<QByteArray> names;
    // Only a name beside the target can be renamed onto it.
    const bool hasPreferred = !preferred.isEmpty() && QFileInfo(preferred).absolutePath() == QFileInfo(m_target).absolutePath();
    if (hasPreferred)
        names.append(QFile::encodeName(preferred));
    names.append(stem + ".part");
    for (int number = 1; number < partialNames; ++number)
        names.append(stem + '.' + QByteArray::number(number) + ".part");
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray& name = names.at(i);
        // A new file is ours; one that is there only when an earlier try of ours left it.
        int descriptor = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, newFileMode);
        bool created = descriptor >= 0;
        if (!created && errno == EEXIST)
            descriptor = ::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (descriptor < 0) {
            if (errno == ENAMETOOLONG)
                return open();
            if (errno == EEXIST || errno == ELOOP || errno == EISDIR || errno == ENXIO)
                continue;
            return fail(QStringLiteral("cannot write"), errno);
        }
        struct stat status {};
        const bool usable = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)
            && ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
        m_descriptor = descriptor;
        if (usable && (created || (i == 0 && hasPreferred) || origin())) {
            m_temporaryName = name;
            m_partial = true;
            ::fcntl(m_descriptor, F_SETFL, 0); // blocking writes
            if (created)
                keepTargetMode();
            return ::lseek(m_descriptor, 0, SEEK_END) >= 0 || fail(QStringLiteral("cannot write"), errno);
        }
        ::close(descriptor);
        m_descriptor = -1;
    }
    return fail(QStringLiteral("no free partial file name beside"), EEXIST);
}

QString DownloadFile::partialPath() const
{
    return m_partial ? QFile::decodeName(m_temporaryName) : QString();
}

qint64 DownloadFile::size() const
{
    struct stat status {};
    return m_descriptor >= 0 && ::fstat(m_descriptor, &status) == 0 ? status.st_size : 0;
}

bool DownloadFile::restart()
{
    if (::ftruncate(m_descriptor, 0) != 0 || ::lseek(m_descriptor, 0, SEEK_SET) != 0)
        return fail(QStringLiteral("cannot write"), errno);
    return true;
}

void DownloadFile::recordOrigin(const RemoteFileFacts& facts)
{
    const QByteArray value = (facts.size ? QByteArray::number(*facts.size) : QByteArray("-")) + ';'
        + (facts.modified.isValid() ? QByteArray::number(facts.modified.toMSecsSinceEpoch()) : QByteArray("-"));
    // Without extended attributes, only the caller's own record of the facts is left.
    ::fsetxattr(m_descriptor, originAttribute, value.constData(), static_cast<size_t>(value.size()), 0);
}

std::optional<RemoteFileFacts> DownloadFile::origin() const
{
    char value[64];
    const ssize_t length = ::fgetxattr(m_descriptor, originAttribute, value, sizeof value);
    if (length <= 0)
        return std::nullopt;
    const QList<QByteArray> parts = QByteArray(value, length).split(';');
    if (parts.size() != 2)
        return std::nullopt;
    RemoteFileFacts facts;
    bool ok = false;
    if (const qint64 size = parts.at(0).toLongLong(&ok); ok && size >= 0)
        facts.size = size;
    if (const qint64 time = parts.at(1).toLongLong(&ok); ok)
        facts.modified = QDateTime::fromMSecsSinceEpoch(time, Qt::UTC);
    return facts;
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
    if (m_partial)
        ::fremovexattr(m_descriptor, originAttribute); // complete: no partial any more
    if (::close(m_descriptor) != 0) {
        m_descriptor = -1;
        return fail(QStringLiteral("cannot write"), errno);
    }
    m_descriptor = -1;
    if (::rename(m_temporaryName.constData(), m_targetBytes.constData()) != 0)
        return fail(QStringLiteral("cannot replace"), errno);
    m_temporaryName.clear();
    m_partial = false;
    return true;
}

void DownloadFile::discard()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    if (!m_temporaryName.isEmpty() && !m_partial)
        ::unlink(m_temporaryName.constData());
    m_temporaryName.clear();
    m_partial = false;
}
