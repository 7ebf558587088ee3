#include "DesktopBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QRandomGenerator>
#include <QUrl>
#include <QVariantMap>

#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A desktop that has not answered by then is taken to have no such view.
constexpr int callTimeoutMs = 5000;

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");

// Waits for a portal request's answer. The portal answers a call at once with a request object
// and later sends that object's Response signal: 0 done, 1 cancelled by the user, 2 it could not
// show its chooser. The request object's path is known before the call (from handle_token), so
// that the signal cannot arrive before it is listened for.
class PortalRequest : public QObject
{
    Q_OBJECT

public:
    PortalRequest(const QDBusConnection& bus, const QString& token, QObject* context, std::function<void()> unavailable)
        : QObject(context)
        , m_bus(bus)
        , m_unavailable(std::move(unavailable))
    {
        QString sender = m_bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        m_path = QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + QLatin1Char('/') + token;
        m_bus.connect(portalService, m_path, QStringLiteral("org.freedesktop.portal.Request"),
                      QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
    }

    ~PortalRequest() override
    {
        m_bus.disconnect(portalService, m_path, QStringLiteral("org.freedesktop.portal.Request"),
                         QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
    }

    // The call itself failed: no portal, or none that offers the interface.
    void callFailed()
    {
        finish(true);
    }

private Q_SLOTS:
    void onResponse(uint response, const QVariantMap&)
    {
        constexpr uint couldNotShow = 2;
        finish(response == couldNotShow);
    }

private:
    void finish(bool unavailable)
    {
        if (unavailable && m_unavailable)
            std::exchange(m_unavailable, nullptr)();
        deleteLater();
    }

    QDBusConnection m_bus;
    QString m_path;
    std::function<void()> m_unavailable;
};

// Calls message without waiting; finished learns whether the call failed.
void callAsync(const QDBusConnection& bus, const QDBusMessage& message, QObject* context,
               std::function<void(bool failed)> finished)
{
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, callTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, finished = std::move(finished)] {
                         watcher->deleteLater();
                         finished(watcher->isError());
                     });
}

} // namespace

namespace DesktopBus {

void chooseProgram(const QString& path, QObject* context, std::function<void()> unavailable)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The portal takes an open file as proof that we may read it.
    const int fd = bus.isConnected() ? ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        unavailable();
        return;
    }
    QDBusUnixFileDescriptor descriptor;
    descriptor.giveFileDescriptor(fd);

    const QString token = QStringLiteral("ftpclient%1").arg(QRandomGenerator::global()->generate());
    auto* request = new PortalRequest(bus, token, context, std::move(unavailable));
    QDBusMessage message = QDBusMessage::createMethodCall(portalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                          QStringLiteral("org.freedesktop.portal.OpenURI"),
                                                          QStringLiteral("OpenFile"));
    const QVariantMap options{{QStringLiteral("ask"), true}, {QStringLiteral("handle_token"), token}};
    message << QString() << QVariant::fromValue(descriptor) << options;
    callAsync(bus, message, request, [request](bool failed) {
        if (failed)
            request->callFailed();
    });
}

void showItemProperties(const QString& path, QObject* context, std::function<void()> unavailable)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        unavailable();
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItemProperties"));
    message << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    callAsync(bus, message, context, [unavailable = std::move(unavailable)](bool failed) {
        if (failed)
            unavailable();
    });
}

} // namespace DesktopBus

#include "DesktopBus.moc"
