#include "UploadWalk.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace UploadWalk {

namespace {

// One entry of a local folder as read from the file system. Names that are not UTF-8 have no
// QString that gives their bytes back: they show with replacement characters, and two of them
// may show alike.
struct LocalName {
    QString name;
    bool exact = true;
    bool folder = false; // known only for names that are not exact
};

// Every entry of folder but "." and "..", sorted by name. Qt's own listings leave out names that
// are not UTF-8, which would drop such files from an upload without a word.
QList<LocalName> readFolder(const QString& folder)
{
    QList<LocalName> names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView bytes(entry->d_name);
        if (bytes == "." || bytes == "..")
            continue;
        LocalName name{QFile::decodeName(entry->d_name), bytes.isValidUtf8()};
        struct stat status {};
        if (!name.exact && ::fstatat(::dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0)
            name.folder = S_ISDIR(status.st_mode);
        names.append(std::move(name));
    }
    ::closedir(dir);
    std::stable_sort(names.begin(), names.end(),
                     [](const LocalName& a, const LocalName& b) { return a.name < b.name; });
    return names;
}

} // namespace

// Only a decoding that lost bytes leaves a replacement character or a lone surrogate; other names
// are what they show.
bool isExactLocalName(const QString& folder, const QString& name)
{
    bool suspect = false;
    for (qsizetype i = 0; i < name.size() && !suspect; ++i) {
        const QChar c = name[i];
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            ++i;
        else
            suspect = c.isSurrogate() || c == QChar::ReplacementCharacter;
    }
    if (!suspect)
        return true;
    qsizetype alike = 0;
    bool exact = false;
    for (const LocalName& entry : readFolder(folder)) {
        if (entry.name == name) {
            ++alike;
            exact = entry.exact;
        }
    }
    return alike == 1 && exact;
}

QList<UploadItem> collectSelection(const QString& sourceFolder, const QList<SelectedRow>& rows)
{
    QList<UploadItem> items;
    for (const SelectedRow& row : rows) {
        UploadItem item;
        if (row.isFolder) {
            item.localFolder = sourceFolder + row.name + QLatin1Char('/');
            item.remoteFolders = QStringList{row.name};
        } else {
            item.name = row.name;
            item.localFolder = sourceFolder;
            item.size = QFileInfo(sourceFolder + row.name).size();
        }
        if (!isExactLocalName(sourceFolder, row.name))
            item.refusal = UploadItem::Refusal::UnencodableName;
        items.append(item);
    }
    return items;
}

void walkLocalFolder(const UploadItem& folder, QList<UploadItem>& items, const std::function<bool()>& stop)
{
    const QString path = folder.localFolder.chopped(1);
    // A folder that cannot be read contributes nothing; broken links and other special entries
    // are listed too, and then fail with their red lines instead of vanishing silently.
    QList<UploadItem> subfolders;
    for (const LocalName& entry : readFolder(path)) {
        const QFileInfo info(path + QLatin1Char('/') + entry.name);
        const bool isFolder = entry.exact ? info.isDir() && !info.isSymLink() : entry.folder;
        UploadItem item;
        if (isFolder) {
            item.localFolder = path + QLatin1Char('/') + entry.name + QLatin1Char('/');
            item.remoteFolders = folder.remoteFolders + QStringList{entry.name};
            if (entry.exact)
                subfolders.append(item);
        } else {
            item.name = entry.name;
            item.localFolder = path;
            item.remoteFolders = folder.remoteFolders;
            item.size = entry.exact && info.isFile() ? info.size() : 0;
            if (entry.exact && info.isDir())
                item.refusal = UploadItem::Refusal::FolderLink;
        }
        if (!entry.exact)
            item.refusal = UploadItem::Refusal::UnencodableName;
        items.append(item);
    }
    for (const UploadItem& subfolder : std::as_const(subfolders)) {
        if (stop && stop())
            return;
        walkLocalFolder(subfolder, items, stop);
    }
}

} // namespace UploadWalk
