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
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c == QLatin1Char('/') || c.unicode() < 0x20)
            return false;
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return false; // a byte that is not UTF-8 (see NameCodec): no local name keeps it
    }
    return true;
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
