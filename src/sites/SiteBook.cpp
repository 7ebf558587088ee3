#include "SiteBook.h"

#include "Prompter.h"
#include "TextCatalogue.h"

#include <QTimer>

SiteBook::SiteBook(SiteStore store, QObject* parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_keyring(this)
{
    connect(&m_keyring, &Keyring::unavailable, this,
            [this] { showMessage(m_parent, getText("SITES_NOKEYRING"), PromptIcon::Information); });
}

void SiteBook::open(QWidget* parent)
{
    m_parent = parent;
    const SiteStore::Loaded loaded = m_store.load();
    m_data = loaded.data;
    if (loaded.status == SiteStore::Status::Damaged) {
        const QString aside = loaded.keptAs.isEmpty() ? m_store.path() : loaded.keptAs;
        // Told once the window shows, not before it.
        QTimer::singleShot(0, this, [this, aside] {
            showMessage(m_parent, getText("SITES_DAMAGED").arg(aside), PromptIcon::Exclamation);
        });
    }
    Q_EMIT recentChanged();
}

bool SiteBook::update(const std::function<void(SiteData&)>& change)
{
    QString error;
    if (m_store.update(change, m_data, error))
        return true;
    showMessage(m_parent, getText("SITES_SAVEFAILED") + QLatin1Char('\n') + error, PromptIcon::Exclamation);
    return false;
}

bool SiteBook::setSites(const SiteFolder& root)
{
    return update([&](SiteData& data) { data.root = root; });
}

void SiteBook::addRecent(const Site& connection)
{
    Site entry;
    entry.id = Site::newId();
    entry.protocol = connection.protocol;
    entry.host = connection.host;
    entry.port = connection.port;
    entry.user = connection.user;
    entry.logon = connection.logon;
    entry.encryption = connection.encryption;
    entry.passive = connection.passive;
    entry.transferMode = connection.transferMode;
    entry.name = connection.host;
    update([&](SiteData& data) {
        data.recent.removeIf([&](const Site& old) {
            return old.protocol == entry.protocol && old.host == entry.host && old.port == entry.port
                && old.user == entry.user;
        });
        data.recent.prepend(entry);
        while (data.recent.size() > recentConnectionCount)
            data.recent.removeLast();
    });
    Q_EMIT recentChanged();
}

std::optional<QString> SiteBook::askPassword(const QString& user, const QString& host) const
{
    InputRequest request;
    request.prompt = getText("SITES_ASKPASSWORD").arg(user, host);
    request.masked = true;
    const InputAnswer answer = Prompter::current().input(request, m_parent);
    return answer.accepted ? std::optional<QString>(answer.text) : std::nullopt;
}

void SiteBook::findPassword(const Site& site, std::function<void(std::optional<QString>)> done)
{
    if (site.logon == LogonType::Anonymous) {
        done(QStringLiteral("anonymous@"));
        return;
    }
    if (site.logon == LogonType::Ask) {
        done(askPassword(site.user, site.host));
        return;
    }
    // A password the site does not keep is never looked for in the keyring, which might ask the
    // user to unlock it for nothing.
    if (!site.savePassword) {
        const std::optional<QString> known = m_keyring.sessionPassword(site.id);
        const std::optional<QString> password = known ? known : askPassword(site.user, site.host);
        if (password && !known)
            m_keyring.keepForSession(site.id, *password);
        done(password);
        return;
    }
    auto* context = new QObject(this);
    connect(&m_keyring, &Keyring::found, context,
            [this, context, site, done](const QString& id, const QString& password, bool isFound) {
                if (id != site.id)
                    return;
                delete context;
                if (isFound) {
                    done(password);
                    return;
                }
                const std::optional<QString> typed = askPassword(site.user, site.host);
                // The site keeps its password: the one typed now goes into the keyring.
                if (typed)
                    m_keyring.store(site.id, *typed);
                done(typed);
            });
    m_keyring.find(site.id);
}
