#include "DesktopBus.h"
#include "TestHelpers.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");

// The address of the session bus of the test's own, set in main() before anything asks for the
// session bus. It starts no services of the machine, so that only the fakes below answer.
QByteArray busAddress;

} // namespace

// The file manager's properties view: records what it was asked to show.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public Q_SLOTS:
    void ShowItemProperties(const QStringList& uris, const QString&) { shown += uris; }
};

// The portal's OpenURI: answers with the request object that the caller's handle_token names, as
// the real portal does, and then sends that object's Response with the answer set by the test.
class FakePortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.OpenURI")

public:
    explicit FakePortal(const QDBusConnection& bus)
        : m_bus(bus)
    {
    }

    uint response = 0;
    QVariantMap options;
    bool gotFile = false;

public Q_SLOTS:
    QDBusObjectPath OpenFile(const QString&, const QDBusUnixFileDescriptor& file, const QVariantMap& callOptions,
                             const QDBusMessage& message)
    {
        options = callOptions;
        gotFile = file.isValid();
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + QLatin1Char('/')
                             + callOptions.value(QStringLiteral("handle_token")).toString();
        QTimer::singleShot(0, this, [this, path] {
            QDBusMessage signal = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"),
                                                             QStringLiteral("Response"));
            signal << response << QVariantMap();
            m_bus.send(signal);
        });
        return QDBusObjectPath(path);
    }

private:
    QDBusConnection m_bus;
};

class DesktopBusTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (busAddress.isEmpty())
            QSKIP("dbus-daemon is not installed");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QVERIFY(m_file.open());
        // The fakes wait at their paths; a row names the service, if any, that answers.
        QVERIFY(m_desktop.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &m_portal,
                                         QDBusConnection::ExportAllSlots));
        QVERIFY(m_desktop.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &m_fileManager,
                                         QDBusConnection::ExportAllSlots));
    }

    void cleanup()
    {
        m_desktop.unregisterService(portalService);
        m_desktop.unregisterService(fileManagerService);
        m_portal.options.clear();
        m_portal.gotFile = false;
        m_fileManager.shown.clear();
    }

    void desktopViews_data()
    {
        QTest::addColumn<QString>("service"); // the fake that answers, if any
        QTest::addColumn<uint>("response");   // the portal's answer
        QTest::addColumn<bool>("unavailable");
        QTest::newRow("chooser: chosen") << portalService << 0u << false;
        QTest::newRow("chooser: cancelled by the user") << portalService << 1u << false;
        QTest::newRow("chooser: portal without a chooser") << portalService << 2u << true;
        QTest::newRow("chooser: no portal") << QString() << 0u << true;
        QTest::newRow("properties: file manager") << fileManagerService << 0u << false;
        QTest::newRow("properties: none") << QString() << 0u << true;
    }

    void desktopViews()
    {
        QFETCH(QString, service);
        m_portal.response = testData<uint>("response");
        QVERIFY(service.isEmpty() || m_desktop.registerService(service));
        QObject context;
        int unavailable = 0;
        const auto fallBack = [&unavailable] { ++unavailable; };
        if (QByteArray(QTest::currentDataTag()).startsWith("chooser"))
            DesktopBus::chooseProgram(m_file.fileName(), &context, fallBack);
        else
            DesktopBus::showItemProperties(m_file.fileName(), &context, fallBack);
        // The request is done once its waiting objects are gone.
        QTRY_VERIFY_WITH_TIMEOUT(context.children().isEmpty(), jobTimeout);
        QCOMPARE(unavailable, testData<bool>("unavailable") ? 1 : 0);
        QCOMPARE(m_portal.gotFile, service == portalService);
        QCOMPARE(m_portal.options.value(QStringLiteral("ask")).toBool(), service == portalService);
        const QString uri = QUrl::fromLocalFile(m_file.fileName()).toString();
        QCOMPARE(m_fileManager.shown, service == fileManagerService ? QStringList{uri} : QStringList());
    }

private:
    QTemporaryFile m_file;
    QDBusConnection m_desktop = QDBusConnection::connectToBus(QString::fromUtf8(busAddress), QStringLiteral("desktop"));
    FakePortal m_portal{m_desktop};
    FakeFileManager m_fileManager;
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    writeFile(folder.filePath(QStringLiteral("bus.conf")),
              "<busconfig><type>session</type><listen>unix:tmpdir=" + QFile::encodeName(folder.path())
                  + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                    "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
               QStringLiteral("--config-file=") + folder.filePath(QStringLiteral("bus.conf"))});
    if (bus.waitForReadyRead())
        busAddress = bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.isEmpty() ? QByteArray("unix:path=/nonexistent") : busAddress);
    DesktopBusTest test;
    const int failed = QTest::qExec(&test, argc, argv);
    bus.kill();
    bus.waitForFinished();
    return failed;
}

#include "tst_desktopbus.moc"
