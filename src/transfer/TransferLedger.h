#pragma once

#include <QHash>
#include <QString>

#include <mutex>
#include <set>
#include <utility>

// What the workers of one queue learn together, while they run side by side on threads of their
// own: which local files a command's downloads wrote, so that no item replaces a file that another
// item of the same command wrote, also where the file system ignores case.
class TransferLedger
{
public:
    bool isWritten(qint64 batch, const QString& localPath) const;
    // Notes the file a download of the command wrote; gives its size (-1 when it is not there).
    qint64 written(qint64 batch, const QString& localPath);

private:
    mutable std::mutex m_mutex;
    QHash<qint64, std::set<std::pair<quint64, quint64>>> m_written; // device and inode, per command
};
