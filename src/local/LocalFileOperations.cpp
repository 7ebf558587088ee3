#include "LocalFileOperations.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DirectoryEntry {
    std::string name;
    bool isFolder = false;
};

// Opens the folder name inside the folder parent (or the path name when parent is AT_FDCWD),
// refusing a link, so that a link swapped in meanwhile is never walked.
int openFolder(int parent, const char* name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Reads every entry of the open folder before any is changed, as removing entries while a
// folder is read leaves it open which of the others are still reported.
bool readEntries(int folder, std::vector<DirectoryEntry>& entries, int& error)
{
    const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!dir) {
        error = errno;
        if (copy >= 0)
            ::close(copy);
        return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat status {};
            isFolder = ::fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
        }
        entries.push_back({name, isFolder});
    }
    error = errno;
    ::closedir(dir);
    return error == 0;
}

void countBelow(int folder, TreeCount& count, CountSizes sizes, const std::atomic<bool>& cancelled)
{
    std::vector<DirectoryEntry> entries;
    int error = 0;
    readEntries(folder, entries, error);
    for (const DirectoryEntry& entry : entries) {
        if (cancelled.load())
            return;
        if (entry.isFolder) {
            ++count.folders;
            const int child = openFolder(folder, entry.name.c_str());
            if (child >= 0) {
                countBelow(child, count, sizes, cancelled);
                ::close(child);
            }
            continue;
        }
        ++count.files;
        struct stat status {};
        if (sizes == CountSizes::Yes && ::fstatat(folder, entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
            count.bytes += status.st_size;
    }
}

class TreeRemover
{
public:
    TreeRemover(const std::function<void()>& removedOne, const std::atomic<bool>& cancelled)
        : m_removedOne(removedOne)
        , m_cancelled(cancelled)
    {
    }

    void removeBelow(int folder, const std::string& folderPath)
    {
        std::vector<DirectoryEntry> entries;
        int error = 0;
        if (!readEntries(folder, entries, error))
            fail(folderPath, error);
        for (const DirectoryEntry& entry : entries) {
            if (m_cancelled.load())
                return;
            const char* name = entry.name.c_str();
            if (entry.isFolder) {
                const int child = openFolder(folder, name);
                if (child < 0) {
                    fail(folderPath + '/' + entry.name, errno);
                    continue;
                }
                removeBelow(child, folderPath + '/' + entry.name);
                ::close(child);
            }
            if (::unlinkat(folder, name, entry.isFolder ? AT_REMOVEDIR : 0) == 0)
                removed();
            else
                fail(folderPath + '/' + entry.name, errno);
        }
    }

    void removed()
    {
        if (m_removedOne)
            m_removedOne();
    }

    // Keeps the first failure: the folders above it then fail only because it is still there.
    void fail(const std::string& path, int error)
    {
        if (!m_outcome.removed)
            return;
        m_outcome.removed = false;
        m_outcome.failedPath = QFile::decodeName(path.c_str());
        m_outcome.error = systemErrorText(error);
    }

    RemoveOutcome outcome() const { return m_outcome; }

private:
    const std::function<void()>& m_removedOne;
    const std::atomic<bool>& m_cancelled;
    RemoveOutcome m_outcome;
};

} // namespace

TreeCount countTree(const QString& path, CountSizes sizes, const std::atomic<bool>& cancelled)
{
    TreeCount count;
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status {};
    if (::lstat(encoded.constData(), &status) != 0)
        return count;
    if (!S_ISDIR(status.st_mode)) {
        count.files = 1;
        if (sizes == CountSizes::Yes)
            count.bytes = status.st_size;
        return count;
    }
    count.folders = 1;
    const int folder = openFolder(AT_FDCWD, encoded.constData());
    if (folder >= 0) {
        countBelow(folder, count, sizes, cancelled);
        ::close(folder);
    }
    return count;
}

RemoveOutcome removeTree(const QString& path, const std::function<void()>& removedOne,
                         const std::atomic<bool>& cancelled)
{
    TreeRemover remover(removedOne, cancelled);
    const std::string encoded = QFile::encodeName(path).toStdString();
    struct stat status {};
    if (::lstat(encoded.c_str(), &status) != 0) {
        remover.fail(encoded, errno);
        return remover.outcome();
    }
    if (S_ISDIR(status.st_mode)) {
        const int folder = openFolder(AT_FDCWD, encoded.c_str());
        if (folder < 0) {
            remover.fail(encoded, errno);
            return remover.outcome();
        }
        remover.removeBelow(folder, encoded);
        ::close(folder);
        if (cancelled.load())
            return remover.outcome();
    }
    if (::unlinkat(AT_FDCWD, encoded.c_str(), S_ISDIR(status.st_mode) ? AT_REMOVEDIR : 0) == 0)
        remover.removed();
    else
        remover.fail(encoded, errno);
    return remover.outcome();
}

bool isSingleName(const QString& name)
{
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QChar(u'\0'));
}

bool renameWithoutReplacing(const QString& from, const QString& to, QString* error)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int reason = errno;
    // Some file systems (FUSE ones such as sshfs) cannot rename without replacing. A hard link
    // also refuses an existing target, so a file (or link) can still be renamed safely there.
    struct stat status {};
    if ((reason == EINVAL || reason == ENOSYS) && ::lstat(source.constData(), &status) == 0
        && !S_ISDIR(status.st_mode)) {
        if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), 0) == 0) {
            if (::unlink(source.constData()) == 0)
                return true;
            reason = errno;
            ::unlink(target.constData());
        } else {
            reason = errno;
        }
    }
    if (error)
        *error = systemErrorText(reason);
    return false;
}

QString systemErrorText(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}
