#pragma once

#include "Keyring.h"
#include "SiteStore.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>


// The saved sites and the last connections of this run, with their file and the keyring that
// holds their passwords.
class SiteBook : public QObject
{
    Q_OBJECT

public:
    explicit SiteBook(SiteStore store = {}, QObject* parent = nullptr);

    // Reads the sites file. A damaged one is kept aside and the program goes on without sites,
    // saying so (once the event loop runs). parent also holds the keyring's notice and questions.
    void open(QWidget* parent);

    const SiteData& data() const { return m_data; }
    const SiteStore& store() const { return m_store; }
    Keyring& keyring() { return m_keyring; }

    // Replaces the sites and writes the file (keeping the last connections another instance of the
    // program saved meanwhile); a failure is told, and false.
    bool setSites(const SiteFolder& root);
    // Puts a connection (without its password) first in the recent list and writes the file.
    void addRecent(const Site& connection);

    // The password site logs in with: anonymous's, the keyring's or this run's, else asked in the
    // input box. done gets it, or nullopt when the user cancelled.
    void findPassword(const Site& site, std::function<void(std::optional<QString>)> done);
    // Asks for the password of user on host in the input box, masked.
    std::optional<QString> askPassword(const QString& user, const QString& host) const;

Q_SIGNALS:
    void recentChanged();

private:
    // Changes the data and writes them, with what another instance saved meanwhile.
    bool update(const std::function<void(SiteData&)>& change);

    SiteStore m_store;
    SiteData m_data;
    Keyring m_keyring;
    QPointer<QWidget> m_parent;
};
