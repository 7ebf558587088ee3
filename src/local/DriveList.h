#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One entry of the local pane's drive list: a folder the user can start browsing from.
struct Drive {
    QString root;  // the root path, "/" or without a trailing "/"
    QString label; // what the list shows
};

// The drives the user can choose: the home folder first, then "/" and the mounted volumes,
// leaving out pseudo file systems, volumes that are not folders and roots already listed.
QList<Drive> availableDrives();

// True for the kernel's and the desktop's virtual file systems (proc, sysfs, tmpfs, cgroup, ...),
// which hold nothing a user transfers.
bool isPseudoFileSystem(const QByteArray& type);
