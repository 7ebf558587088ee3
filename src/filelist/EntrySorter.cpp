#include "EntrySorter.h"

#include <QCollator>
#include <QCollatorSortKey>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

// Returns the order of names as indices into names. Text mode compares collation keys made
// once per name, which keeps large folders fast; ties fall back to character codes so that
// the result does not depend on the input order.
std::vector<qsizetype> orderOf(const QList<QString>& names, CompareMode mode)
{
    std::vector<qsizetype> order(static_cast<std::size_t>(names.size()));
    std::iota(order.begin(), order.end(), qsizetype{0});
    if (mode == CompareMode::Code) {
        std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
            return names[a].compare(names[b], Qt::CaseSensitive) < 0;
        });
        return order;
    }

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    if (collator.locale().language() == QLocale::C) {
        // The C locale's collation keys ignore the case setting; compare folded text instead.
        std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
            const int folded = names[a].compare(names[b], Qt::CaseInsensitive);
            if (folded != 0)
                return folded < 0;
            return names[a].compare(names[b], Qt::CaseSensitive) < 0;
        });
        return order;
    }
    std::vector<QCollatorSortKey> keys;
    keys.reserve(order.size());
    for (const QString& name : names)
        keys.push_back(collator.sortKey(name));
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int byLocale = keys[static_cast<std::size_t>(a)].compare(keys[static_cast<std::size_t>(b)]);
        if (byLocale != 0)
            return byLocale < 0;
        return names[a].compare(names[b], Qt::CaseSensitive) < 0;
    });
    return order;
}

void sortGroup(QList<FileEntry>& group, CompareMode mode)
{
    QList<QString> names;
    names.reserve(group.size());
    for (const FileEntry& entry : std::as_const(group))
        names.append(entry.name);
    QList<FileEntry> sorted;
    sorted.reserve(group.size());
    for (qsizetype index : orderOf(names, mode))
        sorted.append(std::move(group[index]));
    group = std::move(sorted);
}

} // namespace

void sortEntries(QList<FileEntry>& entries, CompareMode mode)
{
    QList<FileEntry> folders;
    QList<FileEntry> files;
    for (FileEntry& entry : entries) {
        if (entry.isFolderLike())
            folders.append(std::move(entry));
        else
            files.append(std::move(entry));
    }
    sortGroup(folders, mode);
    sortGroup(files, mode);
    entries = std::move(folders);
    entries.append(std::move(files));
}

void sortNames(QStringList& names, CompareMode mode)
{
    QStringList sorted;
    sorted.reserve(names.size());
    for (qsizetype index : orderOf(names, mode))
        sorted.append(names[index]);
    names = std::move(sorted);
}
