#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

// The pictures of the remote list by icon key. It lives for the whole run (the main window owns
// it) and is never emptied: a key that is present keeps its first picture, later listings only
// add keys. One QIcon per key serves the large and the small views alike.
class RemoteIconStore
{
public:
    // Stores icon under key unless key already has a picture; true when it was stored.
    bool insert(const QString& key, const QIcon& icon);
    // Stores every picture of icons whose key is new.
    void insertNew(const QHash<QString, QIcon>& icons);

    bool contains(const QString& key) const { return m_icons.contains(key); }
    QIcon icon(const QString& key) const { return m_icons.value(key); }
    qsizetype size() const { return m_icons.size(); }
    // Every picture, for a model; the hash is shared, not copied.
    const QHash<QString, QIcon>& icons() const { return m_icons; }

private:
    QHash<QString, QIcon> m_icons;
};
