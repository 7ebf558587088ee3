#include "Site.h"

#include <QUuid>

QString Site::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QList<Site> SiteFolder::allSites() const
{
    QList<Site> result = sites;
    for (const SiteFolder& folder : folders)
        result.append(folder.allSites());
    return result;
}
