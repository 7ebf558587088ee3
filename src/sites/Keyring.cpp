#include "Keyring.h"

#include <QDBusConnection>
#include <QTimer>

#include <qt6keychain/keychain.h>

Keyring::Keyring(QObject* parent, QString service)
    : QObject(parent)
    , m_service(std::move(service))
{
}

bool Keyring::isAvailable()
{
    // Without a session bus no keyring can answer; asking would only wait for nothing.
    if (!m_available)
        m_available = QDBusConnection::sessionBus().isConnected();
    return *m_available;
}

void Keyring::answerLater(std::function<void()> answer)
{
    QTimer::singleShot(0, this, std::move(answer));
}

void Keyring::markUnavailable()
{
    m_available = false;
    if (!m_told) {
        m_told = true;
        Q_EMIT unavailable();
    }
}

bool Keyring::failedForGood(QKeychain::Job* job)
{
    switch (job->error()) {
    case QKeychain::NoError:
    case QKeychain::EntryNotFound:
        return false;
    default:
        // No keyring, a locked one the user would not open, or one that broke: this run keeps
        // passwords in memory and asks the keyring no more.
        qWarning("keyring: %s", qPrintable(job->errorString()));
        markUnavailable();
        return true;
    }
}

void Keyring::store(const QString& id, const QString& password)
{
    m_session.insert(id, password);
    if (!isAvailable()) {
        markUnavailable();
        answerLater([this, id] { Q_EMIT stored(id); });
        return;
    }
    auto* job = new QKeychain::WritePasswordJob(m_service, this);
    job->setInsecureFallback(false);
    job->setKey(id);
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [this, id](QKeychain::Job* done) {
        failedForGood(done);
        Q_EMIT stored(id);
    });
    job->start();
}

void Keyring::keepForSession(const QString& id, const QString& password)
{
    m_session.insert(id, password);
    answerLater([this, id] { Q_EMIT stored(id); });
}

std::optional<QString> Keyring::sessionPassword(const QString& id) const
{
    const auto it = m_session.constFind(id);
    return it == m_session.cend() ? std::nullopt : std::optional<QString>(*it);
}

void Keyring::find(const QString& id)
{
    if (m_session.contains(id) || !isAvailable()) {
        answerLater([this, id] { Q_EMIT found(id, m_session.value(id), m_session.contains(id)); });
        return;
    }
    auto* job = new QKeychain::ReadPasswordJob(m_service, this);
    job->setInsecureFallback(false);
    job->setKey(id);
    connect(job, &QKeychain::Job::finished, this, [this, id](QKeychain::Job* done) {
        const auto* read = static_cast<QKeychain::ReadPasswordJob*>(done);
        const bool isFound = !failedForGood(done) && done->error() == QKeychain::NoError;
        if (isFound)
            m_session.insert(id, read->textData());
        Q_EMIT found(id, isFound ? read->textData() : QString(), isFound);
    });
    job->start();
}

void Keyring::remove(const QString& id)
{
    m_session.remove(id);
    if (!isAvailable()) {
        answerLater([this, id] { Q_EMIT removed(id); });
        return;
    }
    auto* job = new QKeychain::DeletePasswordJob(m_service, this);
    job->setInsecureFallback(false);
    job->setKey(id);
    connect(job, &QKeychain::Job::finished, this, [this, id](QKeychain::Job* done) {
        failedForGood(done);
        Q_EMIT removed(id);
    });
    job->start();
}

void Keyring::copy(const QString& from, const QString& to)
{
    auto* context = new QObject(this);
    connect(this, &Keyring::found, context, [this, context, from, to](const QString& id, const QString& password,
                                                                      bool isFound) {
        if (id != from)
            return;
        delete context;
        if (isFound)
            store(to, password);
        else
            answerLater([this, to] { Q_EMIT stored(to); });
    });
    find(from);
}
