#include "RemoteIconStore.h"

bool RemoteIconStore::insert(const QString& key, const QIcon& icon)
{
    if (m_icons.contains(key))
        return false;
    m_icons.insert(key, icon);
    return true;
}

void RemoteIconStore::insertNew(const QHash<QString, QIcon>& icons)
{
    for (auto it = icons.constBegin(); it != icons.constEnd(); ++it)
        insert(it.key(), it.value());
}
