#include "EntryTypeResolver.h"

#include "EntryPresentation.h"
#include "FileEntry.h"
#include "TypeInfoProvider.h"

EntryTypeResolver::EntryTypeResolver(TypeInfoProvider& provider, FallbackRule rule)
    : m_provider(provider)
    , m_rule(rule)
    , m_fallbackSuffix(fallbackSuffix())
{
}

ResolvedType EntryTypeResolver::resolve(const QString& fileName)
{
    const QString key = iconKeyOf(fileName);

    if (const auto builtIn = TypeNameCache::builtInTypeName(key)) {
        const QString iconKey = key + QString::number(m_builtInCounter++);
        m_icons.insert(iconKey, m_provider.fileIcon(fileName));
        return {iconKey, *builtIn};
    }

    if (const auto cached = m_cache.find(key)) {
        const QString name = cached->isEmpty() && m_rule == FallbackRule::Local
                                 ? localFallbackTypeName(key, m_fallbackSuffix)
                                 : *cached;
        return {key, name};
    }

    QString name = m_provider.typeName(fileName);
    if (m_rule == FallbackRule::Remote && name.isEmpty())
        name = remoteFallbackTypeName(key, m_fallbackSuffix);
    // The local rule caches the empty name and applies its fallback only to what it shows.
    m_cache.insert(key, name);
    m_icons.insert(key, m_provider.fileIcon(fileName));
    if (name.isEmpty())
        name = localFallbackTypeName(key, m_fallbackSuffix);
    return {key, name};
}

void EntryTypeResolver::addFolderIcon()
{
    if (!m_icons.contains(FileEntry::folderIconKey))
        m_icons.insert(FileEntry::folderIconKey, m_provider.folderIcon());
}
