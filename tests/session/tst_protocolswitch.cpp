#include "FtpServerFixture.h"
#include "ProtocolSwitch.h"
#include "SessionMaker.h"
#include "TestHelpers.h"
#include "UnavailableSession.h"

#include <QTemporaryDir>

// The session the session thread holds: each connect gets a session of the protocol its settings
// name, and every session the switch makes gets what was set on the switch.
class ProtocolSwitchTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void connectsWithTheProtocolTheSettingsName()
    {
        QTemporaryDir root;
        FtpServerFixture server;
        QVERIFY2(server.start(root.path()), qPrintable(server.errorText()));
        QList<Protocol> made;
        ProtocolSwitch session([&made](Protocol protocol) -> std::unique_ptr<RemoteOperations> {
            made.append(protocol);
            if (protocol == Protocol::Sftp)
                return std::make_unique<UnavailableSession>(QStringLiteral("no SFTP here"));
            return makeSession(protocol);
        });
        std::atomic<bool> cancelled{false};
        QStringList wire;
        session.setCancelFlag(&cancelled);
        session.setTranscript([&wire](const QString& line) { wire.append(line); });

        const ConnectionSettings ftp = settingsOf(server);
        ConnectionSettings sftp = ftp;
        sftp.protocol = Protocol::Sftp;
        QVERIFY2(session.openConnection(ftp), qPrintable(session.lastError()));
        QVERIFY(session.connectedWith(ftp) && !session.connectedWith(sftp));

        // Another protocol: the FTP connection is closed, and the new session's failure is reported.
        QVERIFY(!session.openConnection(sftp));
        QCOMPARE(session.lastError(), QStringLiteral("no SFTP here"));
        QVERIFY(!session.isConnected() && session.currentDir().isEmpty());

        // Back to FTP: a new session, with the transcript and the cancel flag of the switch.
        wire.clear();
        QVERIFY2(session.openConnection(ftp), qPrintable(session.lastError()));
        QVERIFY(!wire.filter(QStringLiteral("> USER")).isEmpty());
        QCOMPARE(made, (QList<Protocol>{Protocol::Ftp, Protocol::Sftp, Protocol::Ftp}));
        cancelled = true;
        QVERIFY(!session.openConnection(ftp));
    }
};

QTEST_GUILESS_MAIN(ProtocolSwitchTest)
#include "tst_protocolswitch.moc"
