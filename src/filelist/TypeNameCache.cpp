#include "TypeNameCache.h"

#include "FileEntry.h"

TypeNameCache::TypeNameCache()
{
    // Folders are named by the catalogue, never by the provider.
    insert(FileEntry::folderIconKey, QStringLiteral("Dateiordner"));
}

std::optional<QString> TypeNameCache::find(const QString& key, QString* storedKey) const
{
    const auto found = m_names.constFind(key.toLower());
    if (found == m_names.constEnd())
        return std::nullopt;
    if (storedKey)
        *storedKey = found.key();
    return *found;
}

void TypeNameCache::insert(const QString& key, const QString& typeName)
{
    const QString lowered = key.toLower();
    if (!m_names.contains(lowered))
        m_names.insert(lowered, typeName);
}

std::optional<QString> TypeNameCache::builtInTypeName(const QString& key)
{
    static const QHash<QString, QString> builtIn{
        {QStringLiteral("zico"), QStringLiteral("Symbol")},
        {QStringLiteral("zexe"), QStringLiteral("Anwendung")},
        {QStringLiteral("zlnk"), QStringLiteral("Verknüpfung")},
        {QStringLiteral("zcur"), QStringLiteral("Cursor")},
    };
    const auto found = builtIn.constFind(key.toLower());
    if (found == builtIn.constEnd())
        return std::nullopt;
    return *found;
}
