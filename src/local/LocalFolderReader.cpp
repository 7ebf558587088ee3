#include "LocalFolderReader.h"

#include "EntrySorter.h"
#include "EntryTypeResolver.h"

#include <QDirIterator>
#include <QFileInfo>

quint32 localAttributeBits(const LocalFileFacts& facts)
{
    quint32 bits = 0;
    if (facts.isFolder)
        bits |= FileAttribute::directory;
    if (facts.name.startsWith(QLatin1Char('.')))
        bits |= FileAttribute::hidden;
    if (!facts.isWritable)
        bits |= FileAttribute::readOnly;
    if (!facts.isRegularFile && !facts.isFolder && !facts.isSymLink)
        bits |= FileAttribute::system;
    return bits == 0 ? FileAttribute::normal : bits;
}

QString withTrailingSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

FolderListing readFolder(const QString& folder, TypeInfoProvider& provider, CompareMode mode)
{
    FolderListing listing;
    listing.folder = withTrailingSlash(folder);
    EntryTypeResolver resolver(provider, FallbackRule::Local);
    bool folderSeen = false;

    QDirIterator it(listing.folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        FileEntry entry;
        entry.name = info.fileName();
        // A link that leads nowhere has no target to be read-only.
        const bool writable = info.isWritable() || (info.isSymLink() && !info.exists());
        const LocalFileFacts facts{entry.name, info.isDir(), info.isFile(), info.isSymLink(), writable};
        entry.attributes = localAttributeBits(facts);
        entry.size = info.size();
        entry.lastWrite = info.lastModified().toUTC();
        entry.kind = facts.isSymLink ? EntryKind::Link : facts.isFolder ? EntryKind::Folder : EntryKind::File;
        if (facts.isSymLink)
            entry.linkTarget = info.symLinkTarget();
        if (facts.isFolder) {
            entry.iconKey = FileEntry::folderIconKey;
            folderSeen = true;
        } else {
            ResolvedType type = resolver.resolve(entry.name);
            entry.iconKey = std::move(type.iconKey);
            entry.typeName = std::move(type.typeName);
        }
        listing.entries.append(std::move(entry));
    }

    if (folderSeen)
        resolver.addFolderIcon();
    listing.icons = resolver.takeIcons();
    listing.found = !listing.entries.isEmpty();
    if (listing.found)
        sortEntries(listing.entries, mode);
    return listing;
}

QStringList subfolderNames(const QString& folder, CompareMode mode)
{
    QStringList names;
    QDirIterator it(withTrailingSlash(folder), QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
    sortNames(names, mode);
    return names;
}
