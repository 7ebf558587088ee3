#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace QKeychain {
class Job;
}

// The passwords of sites: in the desktop keyring (Secret Service or KWallet, through QtKeychain),
// under the site's id. Where no keyring answers, a password is kept in memory for this run only
// and nothing takes its place on disk; unavailable() then tells it once.
// Every call answers through a signal, never by waiting.
class Keyring : public QObject
{
    Q_OBJECT

public:
    explicit Keyring(QObject* parent = nullptr, QString service = QStringLiteral("ftpclient"));

    // Keeps password in the keyring (or, without one, for this run); answers with stored().
    void store(const QString& id, const QString& password);
    // Keeps password for this run only, never in the keyring; answers at once with stored().
    void keepForSession(const QString& id, const QString& password);
    // Looks the password up: this run's first, then the keyring's; answers with found().
    void find(const QString& id);
    // Forgets the password here and in the keyring; answers with removed().
    void remove(const QString& id);
    // Gives to the id the password that from has (a copied site); answers with stored(to).
    void copy(const QString& from, const QString& to);

    // The password kept in memory this run, if there is one; the keyring is not asked.
    std::optional<QString> sessionPassword(const QString& id) const;

    // False once the keyring failed, or when there is no session bus.
    bool isAvailable();

Q_SIGNALS:
    void stored(const QString& id);
    // The password of id; found is false when there is none.
    void found(const QString& id, const QString& password, bool isFound);
    void removed(const QString& id);
    // Sent once per run: passwords are kept for this run only.
    void unavailable();

private:
    // A job that failed for want of a keyring turns this run's keyring off.
    bool failedForGood(QKeychain::Job* job);
    void markUnavailable();
    // Sends a signal after the caller has returned, as a keyring's answer comes.
    void answerLater(std::function<void()> answer);

    QString m_service;
    std::optional<bool> m_available; // asked on first use: most runs never need the bus
    bool m_told = false;
    QHash<QString, QString> m_session; // passwords of this run: looked up first, also when stored
};
