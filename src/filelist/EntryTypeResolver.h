#pragma once

#include "TypeNameCache.h"

#include <QHash>
#include <QIcon>
#include <QString>

class TypeInfoProvider;

// Which fallback names a type that the provider cannot name.
enum class FallbackRule {
    Local,  // the key's last three characters: zhtml -> "TML-Datei", "TML file"
    Remote, // the whole extension: zhtml -> "HTML-Datei", "HTML file"
};

// The icon key and type name of one file.
struct ResolvedType {
    QString iconKey;
    QString typeName;
};

// Gives the files of one listing their icon keys, type names and pictures (ResolveEntryType).
// The provider is asked once per distinct key, except for the built-in types (zexe, zico, zlnk,
// zcur), whose files each get a numbered key (zexe0, zexe1, ...) and a picture of their own.
// Make a new resolver for every listing.
class EntryTypeResolver
{
public:
    // With an unknownIconKey, the provider is asked about at most maxQuestions types (each file of
    // a built-in type counts): a name without an extension is a type of its own, and a folder of
    // thousands of them kept the window busy for minutes with questions that found nothing. Past
    // that, a new type gets the picture stored under unknownIconKey and its fallback name (or
    // its built-in name).
    static constexpr int maxQuestions = 1000;

    EntryTypeResolver(TypeInfoProvider& provider, FallbackRule rule, QString unknownIconKey = {});

    // Resolves the file called fileName and stores its picture under the returned icon key.
    ResolvedType resolve(const QString& fileName);
    // Stores the folder picture under "Folder", asking the provider only the first time.
    void addFolderIcon();

    // The pictures stored so far, by icon key.
    const QHash<QString, QIcon>& icons() const { return m_icons; }
    QHash<QString, QIcon> takeIcons() { return std::move(m_icons); }

private:
    TypeInfoProvider& m_provider;
    FallbackRule m_rule;
    QString m_fallbackSuffix; // read once: a listing may name thousands of files by the fallback
    TypeNameCache m_cache;
    QString m_unknownIconKey;
    int m_builtInCounter = 0;
    int m_questions = 0;
    QHash<QString, QIcon> m_icons;
};
