#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <mutex>
#include <optional>
#include <set>
#include <utility>

// What the workers of one queue learn together, while they run side by side on threads of their
// own: which names a server folder held before the queue stored into it (a partial file is removed
// only where the upload made the name), and which local files a command's downloads wrote (so
// that no item replaces a file that another item of the same command wrote, also where the file
// system ignores case).
class TransferLedger
{
public:
    using Names = std::optional<QSet<QString>>; // case-folded; nullopt: the folder could not be listed

    // The names the folder held before the queue first stored into it; list() is asked (without the
    // lock held) when the folder is new to the ledger.
    template <typename List>
    Names namesBefore(const QString& folderKey, List list)
    {
        {
            std::lock_guard lock(m_mutex);
            if (const auto known = m_namesBefore.constFind(folderKey); known != m_namesBefore.cend())
                return *known;
        }
        Names listed = list();
        std::lock_guard lock(m_mutex);
        auto known = m_namesBefore.find(folderKey);
        if (known == m_namesBefore.end())
            return *m_namesBefore.insert(folderKey, std::move(listed));
        // Another worker listed it first; what it noted since stays.
        if (known->has_value() && listed)
            (*known)->unite(*listed);
        return *known;
    }
    // The folder was made by the queue: everything stored into it is new.
    void folderMade(const QString& folderKey);
    // A name the queue stored into (or tried to): whatever is there now is not to be removed.
    void stored(const QString& folderKey, const QString& name);

    bool isWritten(qint64 batch, const QString& localPath) const;
    // Notes the file a download of the command wrote; gives its size (-1 when it is not there).
    qint64 written(qint64 batch, const QString& localPath);

private:
    mutable std::mutex m_mutex;
    QHash<QString, Names> m_namesBefore;
    QHash<qint64, std::set<std::pair<quint64, quint64>>> m_written; // device and inode, per command
};
