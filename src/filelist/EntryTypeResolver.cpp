#include "EntryTypeResolver.h"

#include "EntryPresentation.h"
#include "FileEntry.h"
#include "TypeInfoProvider.h"

EntryTypeResolver::EntryTypeResolver(TypeInfoProvider& provider, FallbackRule rule, QString unknownIconKey)
    : m_provider(provider)
    , m_rule(rule)
    , m_fallbackSuffix(fallbackSuffix())
    , m_unknownIconKey(std::move(unknownIconKey))
{
}

ResolvedType EntryTypeResolver::resolve(const QString& fileName)
{
    QString key = iconKeyOf(fileName);
    const std::optional<QString> builtIn = TypeNameCache::builtInTypeName(key);

    // The cache's own key, so that the rows of one type share one text.
    if (const auto cached = builtIn ? std::nullopt : m_cache.find(key, &key)) {
        const QString name = cached->isEmpty() && m_rule == FallbackRule::Local ? localFallbackTypeName(key, m_fallbackSuffix)
                                                                                : *cached;
        return {key, name};
    }

    if (!m_unknownIconKey.isEmpty() && m_questions >= maxQuestions) {
        if (builtIn)
            return {m_unknownIconKey, *builtIn};
        return {m_unknownIconKey, m_rule == FallbackRule::Remote ? remoteFallbackTypeName(key, m_fallbackSuffix)
                                                                     : localFallbackTypeName(key, m_fallbackSuffix)};
    }
    ++m_questions;

    if (builtIn) {
        const QString iconKey = key + QString::number(m_builtInCounter++);
        m_icons.insert(iconKey, m_provider.fileIcon(fileName));
        return {iconKey, *builtIn};
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
