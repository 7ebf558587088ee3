#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace TempFolder {

namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool isSafeName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QChar(u'\0'));
}

// Opens folder below parent (creating it when missing) and makes sure it is ours alone; -1
// otherwise. Working through the descriptor means a link put in its place after the check cannot
// redirect us.
int openPrivateFolder(int parent, const QByteArray& folder)
{
    if (::mkdirat(parent, folder.constData(), 0700) != 0 && errno != EEXIST)
        return -1;
    const int fd = ::openat(parent, folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat status {};
    const bool ours = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
    if (!ours || ((status.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Creates the file in the open folder, or opens an existing one without changing it.
bool touchFile(int folder, const QByteArray& name)
{
    const int fd = ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    return ::close(fd) == 0;
}

} // namespace

QStringList candidateParents()
{
    // The cache first: the runtime folder is held in memory, and an opened file may be large.
    QStringList parents{QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)};
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        parents.append(runtime);
    parents.append(QStandardPaths::writableLocation(QStandardPaths::TempLocation));
    return parents;
}

QString makeTempFileIn(const QString& subfolder, const QString& name)
{
    const QStringList parents = candidateParents();
    // A new account may have no cache folder yet; it is made private, as the XDG rules ask.
    ::mkdir(QFile::encodeName(parents.first()).constData(), 0700);
    return makeTempFile(name, parents, subfolder);
}

QString makeTempFile(const QString& name, const QStringList& parents, const QString& subfolder)
{
    if (!isSafeName(name) || (!subfolder.isEmpty() && !isSafeName(subfolder)))
        return {};
    const QByteArray encodedName = QFile::encodeName(name);
    const QByteArray encodedSubfolder = QFile::encodeName(subfolder);
    for (const QString& parent : parents) {
        if (parent.isEmpty() || !QDir(parent).exists())
            continue;
        const QString folder = QDir(parent).filePath(folderName);
        const QByteArray encodedFolder = QFile::encodeName(folder);
        const Descriptor descriptor(openPrivateFolder(AT_FDCWD, encodedFolder));
        if (descriptor.get() < 0)
            continue;
        if (subfolder.isEmpty()) {
            if (touchFile(descriptor.get(), encodedName))
                return folder + QLatin1Char('/') + QFile::decodeName(encodedName);
        } else {
            const Descriptor inner(openPrivateFolder(descriptor.get(), encodedSubfolder));
            if (inner.get() >= 0 && touchFile(inner.get(), encodedName))
                return folder + QLatin1Char('/') + subfolder + QLatin1Char('/') + QFile::decodeName(encodedName);
            if (inner.get() >= 0)
                ::unlinkat(descriptor.get(), encodedSubfolder.constData(), AT_REMOVEDIR);
        }
        // Only an empty folder goes; one that holds files stays.
        ::rmdir(encodedFolder.constData());
    }
    return {};
}

} // namespace TempFolder
