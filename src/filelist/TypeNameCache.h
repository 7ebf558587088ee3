#pragma once

#include <QHash>
#include <QString>

#include <optional>

// The type names resolved during one listing, by icon key. It starts knowing only folders, so
// that every other key is asked of the type provider once per listing. Keys compare without
// regard to case.
class TypeNameCache
{
public:
    TypeNameCache();

    // The type name cached for key (possibly empty), or nothing when the key is new. storedKey,
    // when given, receives the key as it is stored: rows that take it share its text.
    std::optional<QString> find(const QString& key, QString* storedKey = nullptr) const;
    // Remembers typeName for key; an empty name is remembered too. An existing key keeps its name.
    void insert(const QString& key, const QString& typeName);

    // The built-in type name of key: zico Symbol, zexe Anwendung, zlnk Verknüpfung, zcur Cursor.
    // Files of these types carry a picture of their own and are never served from the cache.
    static std::optional<QString> builtInTypeName(const QString& key);

private:
    QHash<QString, QString> m_names; // lower-cased key -> type name
};
