#include "UploadWalk.h"

#include <QDir>
#include <QFileInfo>

namespace UploadWalk {

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
        items.append(item);
    }
    return items;
}

void walkLocalFolder(const UploadItem& folder, QList<UploadItem>& items, const std::function<bool()>& stop)
{
    const QString path = folder.localFolder.chopped(1);
    // A folder that cannot be read contributes nothing; System also lists broken links and other
    // special entries, which then fail with their red lines instead of vanishing silently.
    const QFileInfoList entries =
        QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QList<UploadItem> subfolders;
    for (const QFileInfo& entry : entries) {
        UploadItem item;
        if (entry.isDir() && !entry.isSymLink()) {
            item.localFolder = path + QLatin1Char('/') + entry.fileName() + QLatin1Char('/');
            item.remoteFolders = folder.remoteFolders + QStringList{entry.fileName()};
            subfolders.append(item);
        } else {
            item.name = entry.fileName();
            item.localFolder = path;
            item.remoteFolders = folder.remoteFolders;
            item.size = entry.isFile() ? entry.size() : 0;
            if (entry.isDir())
                item.refusal = UploadItem::Refusal::FolderLink;
        }
        items.append(item);
    }
    for (const UploadItem& subfolder : std::as_const(subfolders)) {
        if (stop && stop())
            return;
        walkLocalFolder(subfolder, items, stop);
    }
}

} // namespace UploadWalk
