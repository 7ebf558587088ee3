#include "DownloadPaths.h"

namespace DownloadPaths {

QStringList splitFolderNames(QStringView folderPath)
{
    QStringList names;
    if (!folderPath.startsWith(QLatin1Char('/')))
        return names;
    qsizetype start = 1;
    for (;;) {
        const qsizetype slash = folderPath.indexOf(QLatin1Char('/'), start);
        if (slash < 0)
            return names;
        names.append(folderPath.mid(start, slash - start).toString());
        start = slash + 1;
    }
}

bool isUsableLocalName(QStringView name)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    return !name.contains(QLatin1Char('/')) && !name.contains(QChar(u'\0'));
}

bool areUsableLocalNames(const QStringList& names)
{
    for (const QString& name : names) {
        if (!isUsableLocalName(name))
            return false;
    }
    return true;
}

QString withTrailingSlash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

} // namespace DownloadPaths
