#include "PairedFolders.h"

#include <QStringList>

std::optional<QString> pairedFolder(const QString& pairHere, const QString& pairThere, const QString& folderHere)
{
    const QStringList from = pairHere.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList to = folderHere.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    qsizetype common = 0;
    while (common < from.size() && common < to.size() && from[common] == to[common])
        ++common;
    QStringList there = pairThere.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const qsizetype up = from.size() - common;
    if (up > there.size())
        return std::nullopt;
    there.resize(there.size() - up);
    there.append(to.mid(common));
    return QLatin1Char('/') + there.join(QLatin1Char('/'));
}
