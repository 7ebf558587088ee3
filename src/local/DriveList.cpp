#include "DriveList.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

bool isPseudoFileSystem(const QByteArray& type)
{
    static const QSet<QByteArray> pseudo{
        "autofs", "binfmt_misc", "bpf", "cgroup", "cgroup2", "configfs", "debugfs", "devpts",
        "devtmpfs", "efivarfs", "fusectl", "hugetlbfs", "mqueue", "nsfs", "proc", "pstore",
        "ramfs", "rpc_pipefs", "securityfs", "selinuxfs", "squashfs", "sysfs", "tmpfs", "tracefs",
        "fuse.gvfsd-fuse", "fuse.portal"};
    return pseudo.contains(type);
}

QList<Drive> availableDrives()
{
    QList<Drive> drives;
    QSet<QString> roots;
    const auto add = [&](const QString& root, const QString& label) {
        if (roots.contains(root))
            return;
        roots.insert(root);
        drives.append({root, label});
    };

    add(QDir::homePath(), QDir::homePath());
    add(QStringLiteral("/"), QStringLiteral("/"));
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || isPseudoFileSystem(volume.fileSystemType()))
            continue;
        const QString root = volume.rootPath();
        if (!QFileInfo(root).isDir())
            continue;
        const QString name = volume.displayName();
        add(root, name.isEmpty() || name == root ? root : root + QStringLiteral(" (") + name + QLatin1Char(')'));
    }
    return drives;
}
