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

// A depth-first walk of a folder tree that uses neither a stack frame nor a descriptor per level,
// so that no depth of tree exhausts them. Only the deepest few folders stay open; a folder above
// them is opened again through ".." on the way back, and must still be the folder it was.
class FolderWalk
{
public:
    ~FolderWalk()
    {
        for (const Level& level : m_levels) {
            if (level.fd >= 0)
                ::close(level.fd);
        }
    }

    // Opens the folder name of the current folder (the first one: a path) and reads its entries;
    // false, with errno set, when it cannot be opened. readError() tells whether all were read.
    bool enter(const std::string& name)
    {
        const int fd = openFolder(m_levels.empty() ? AT_FDCWD : folder(), name.c_str());
        struct stat status {};
        if (fd < 0 || ::fstat(fd, &status) != 0) {
            const int error = errno;
            if (fd >= 0)
                ::close(fd);
            errno = error;
            return false;
        }
        Level level{fd, status.st_dev, status.st_ino, name, {}, 0, 0};
        readEntries(fd, level.entries, level.readError);
        m_levels.push_back(std::move(level));
        if (m_levels.size() > openLevels) {
            Level& above = m_levels[m_levels.size() - 1 - openLevels];
            if (above.fd >= 0)
                ::close(above.fd);
            above.fd = -1;
        }
        return true;
    }

    // Back to the folder above; false, with errno set, when it cannot be opened again or is no
    // longer the folder it was (the tree was moved meanwhile). Only pathOf() may follow then.
    bool leave()
    {
        const int child = m_levels.back().fd;
        m_levels.pop_back();
        Level& parent = m_levels.back();
        int error = 0;
        if (parent.fd < 0) {
            parent.fd = ::openat(child, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat status {};
            error = parent.fd < 0 || ::fstat(parent.fd, &status) != 0 ? errno
                    : status.st_dev != parent.device || status.st_ino != parent.inode ? ESTALE
                                                                                        : 0;
        }
        ::close(child);
        if (error == 0)
            return true;
        if (parent.fd >= 0)
            ::close(parent.fd);
        parent.fd = -1;
        errno = error;
        return false;
    }

    // The next entry of the current folder; nullptr once every one was visited.
    const DirectoryEntry* next()
    {
        Level& level = m_levels.back();
        return level.next < level.entries.size() ? &level.entries[level.next++] : nullptr;
    }

    bool atTop() const { return m_levels.size() <= 1; }
    int folder() const { return m_levels.back().fd; }
    const std::string& folderName() const { return m_levels.back().name; }
    int readError() const { return m_levels.back().readError; }

    // The path of name in the current folder; the current folder itself for an empty name. Built
    // only for messages: in a deep tree it is long.
    std::string pathOf(const std::string& name) const
    {
        std::string path;
        for (const Level& level : m_levels)
            path += (path.empty() ? "" : "/") + level.name;
        return name.empty() ? path : path + '/' + name;
    }

private:
    // The deepest folders kept open; enough that a tree of usual depth is never opened twice.
    static constexpr std::size_t openLevels = 16;

    struct Level {
        int fd;
        dev_t device;
        ino_t inode;
        std::string name;
        std::vector<DirectoryEntry> entries;
        std::size_t next;
        int readError;
    };
    std::vector<Level> m_levels;
};

class TreeRemover
{
public:
    explicit TreeRemover(const std::function<void()>& removedOne)
        : m_removedOne(removedOne)
    {
    }

    // Removes everything below the folder the walk stands in.
    void removeBelow(FolderWalk& walk, const std::atomic<bool>& cancelled)
    {
        if (walk.readError() != 0)
            fail(walk.pathOf({}), walk.readError());
        while (!cancelled.load()) {
            if (const DirectoryEntry* entry = walk.next()) {
                const std::string& name = entry->name;
                // A folder goes on the way back, once it is empty.
                if (!entry->isFolder)
                    settle(::unlinkat(walk.folder(), name.c_str(), 0) == 0, [&] { return walk.pathOf(name); });
                else if (!walk.enter(name))
                    settle(false, [&] { return walk.pathOf(name); });
                else if (walk.readError() != 0)
                    fail(walk.pathOf({}), walk.readError());
                continue;
            }
            if (walk.atTop())
                return;
            const std::string name = walk.folderName();
            if (!walk.leave()) {
                const int error = errno;
                fail(walk.pathOf(name), error);
                return;
            }
            settle(::unlinkat(walk.folder(), name.c_str(), AT_REMOVEDIR) == 0, [&] { return walk.pathOf(name); });
        }
    }

    // Counts an entry as removed when done, or when it was gone already (another program was
    // quicker); otherwise keeps the failure, with the path pathOf() names.
    template <typename PathOf>
    void settle(bool done, const PathOf& pathOf)
    {
        const int error = errno;
        if (!done && error != ENOENT) {
            fail(pathOf(), error);
            return;
        }
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
    RemoveOutcome m_outcome;
};

} // namespace

TreeCount countTree(const QString& path, CountSizes sizes, const std::atomic<bool>& cancelled)
{
    TreeCount count;
    const std::string encoded = QFile::encodeName(path).toStdString();
    struct stat status {};
    if (::lstat(encoded.c_str(), &status) != 0)
        return count;
    if (!S_ISDIR(status.st_mode)) {
        count.files = 1;
        if (sizes == CountSizes::Yes)
            count.bytes = status.st_size;
        return count;
    }
    count.folders = 1;
    FolderWalk walk;
    if (!walk.enter(encoded))
        return count;
    while (!cancelled.load()) {
        const DirectoryEntry* entry = walk.next();
        if (!entry) {
            if (walk.atTop() || !walk.leave())
                break;
        } else if (entry->isFolder) {
            ++count.folders;
            walk.enter(entry->name);
        } else {
            ++count.files;
            if (sizes == CountSizes::Yes
                && ::fstatat(walk.folder(), entry->name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
                count.bytes += status.st_size;
        }
    }
    return count;
}

RemoveOutcome removeTree(const QString& path, const std::function<void()>& removedOne,
                         const std::atomic<bool>& cancelled)
{
    TreeRemover remover(removedOne);
    const std::string encoded = QFile::encodeName(path).toStdString();
    const auto named = [&encoded] { return encoded; };
    struct stat status {};
    if (::lstat(encoded.c_str(), &status) != 0) {
        remover.settle(false, named);
        return remover.outcome();
    }
    if (S_ISDIR(status.st_mode)) {
        FolderWalk walk;
        if (!walk.enter(encoded)) {
            remover.settle(false, named);
            return remover.outcome();
        }
        remover.removeBelow(walk, cancelled);
        if (cancelled.load())
            return remover.outcome();
    }
    remover.settle(::unlinkat(AT_FDCWD, encoded.c_str(), S_ISDIR(status.st_mode) ? AT_REMOVEDIR : 0) == 0, named);
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
