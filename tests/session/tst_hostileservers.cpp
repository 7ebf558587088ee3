#include "ControlConnection.h"
#include "FtpSession.h"
#include "RawServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString secret = QStringLiteral("hunter2-pw");

ConnectionSettings settings(const RawServer& server)
{
    return {QStringLiteral("127.0.0.1"), QString::number(server.port()), QStringLiteral("u"), secret, true};
}

} // namespace

// The session against servers that misbehave on purpose: silent, endless, out of turn. Whatever
// they do, a job ends - by the idle time-out, by the cancel flag, or by the input bounds - and a
// download that does not end well leaves the old local file as it was.
class HostileServersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_local = std::make_unique<QTemporaryDir>();
        m_target = m_local->filePath(QStringLiteral("target.bin"));
        QFile file(m_target);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("the old file") == 12);
    }

    void everyWaitEnds_data()
    {
        QTest::addColumn<QByteArray>("stage");     // where the server stops going on: "greeting", "PWD", "RETR" (data flowing)
        QTest::addColumn<QByteArray>("behaviour"); // what it does then
        QTest::addColumn<QString>("error");
        const QByteArray greeting("greeting");
        const QByteArray pwd("PWD");
        const QByteArray retr("RETR");
        QTest::newRow("silent greeting") << greeting << QByteArray("silence") << QStringLiteral("time-out");
        QTest::newRow("cancel during the greeting") << greeting << QByteArray("cancel") << QStringLiteral("cancelled");
        QTest::newRow("stalled download") << retr << QByteArray("silence") << QStringLiteral("time-out");
        QTest::newRow("cancel during a download") << retr << QByteArray("cancel") << QStringLiteral("cancelled");
        QTest::newRow("endless 120 replies") << pwd << QByteArray("120") << QStringLiteral("preliminary replies");
        // Each one comes well within the idle time-out of 500 ms; together they take longer.
        QTest::newRow("120 now and then") << pwd << QByteArray("120 slowly") << QStringLiteral("time-out");
        QTest::newRow("endless 120 during a download") << retr << QByteArray("120") << QStringLiteral("preliminary replies");
        QTest::newRow("421") << pwd << QByteArray("421 Timeout.") << QStringLiteral("421");
        QTest::newRow("hung up without a reply") << pwd << QByteArray("hang up") << QString();
    }

    void everyWaitEnds()
    {
        QFETCH(QByteArray, stage);
        QFETCH(QByteArray, behaviour);
        QFETCH(QString, error);
        std::atomic<bool> cancelled{false};
        RawServer server([&cancelled, stage, behaviour](RawServer::Connection& connection) {
            int data = -1;
            if (stage != "greeting") {
                if (!RawServer::greetAndLogin(connection))
                    return;
                if (stage == "RETR") {
                    if (!connection.offerExtendedPassive() || !connection.expect("RETR") || !connection.send("150 go\r\n"))
                        return;
                    data = connection.acceptData();
                    connection.sendData(data, QByteArray(1000, 'x'));
                } else if (!connection.expect(stage)) {
                    return;
                }
            }
            cancelled = behaviour == "cancel";
            if (behaviour.startsWith("421"))
                connection.send(behaviour + "\r\n");
            while (behaviour.startsWith("120") && connection.send("120 in a moment\r\n"))
                std::this_thread::sleep_for(std::chrono::milliseconds(behaviour.endsWith("slowly") ? 200 : 0));
            if (!behaviour.startsWith("421") && behaviour != "hang up")
                connection.readUntilGone();
            if (data >= 0)
                ::close(data);
        });
        FtpSession session;
        session.setCancelFlag(&cancelled);
        // A cancelled wait must end by the cancel, long before the time-out would end it.
        session.setTimeouts(20'000, behaviour == "cancel" ? 60'000 : 500);
        QCOMPARE(session.openConnection(settings(server)), stage != "greeting");
        if (stage == "RETR")
            QVERIFY(!session.ftpGet(m_target, QStringLiteral("f")));
        else if (stage == "PWD")
            QVERIFY(session.ftpCurrentDir().isEmpty());
        QVERIFY2(!session.lastError().isEmpty() && session.lastError().contains(error), qPrintable(session.lastError()));
        QVERIFY(!session.isConnected());
        checkOldFileUntouched();
    }

    // Replies framed at the lowest layer, within bounds a server cannot push past.
    void greeting_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QByteArray>("endlessRest"); // sent again and again after the greeting
        QTest::addColumn<QString>("error");          // empty: accepted
        QTest::addColumn<int>("lines");              // kept and dropped
        QByteArray banner = "220-welcome\r\n";
        for (int i = 0; i < 5000; ++i)
            banner += "220-" + QByteArray(1000, 'x') + "\r\n";
        QTest::newRow("endless reply line") << QByteArray("220 ") << QByteArray(64 * 1024, 'a')
                                            << QStringLiteral("longer than 65536 bytes") << 0;
        QTest::newRow("endless multi-line reply") << QByteArray() << QByteArray("220-and more\r\n").repeated(1000)
                                                  << QStringLiteral("more than 10000 lines") << 0;
        QTest::newRow("reply without a code") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n") << QByteArray()
                                              << QStringLiteral("no valid reply") << 0;
        QTest::newRow("five megabytes, kept to their start") << banner + "220 end\r\n" << QByteArray() << QString() << 5002;
        // Inner lines may start with blanks or with the code and another character.
        QTest::newRow("inner lines like the last") << QByteArray("220-welcome\r\n 220 indented\r\n220x neither\r\n220 end\r\n")
                                                   << QByteArray() << QString() << 4;
    }

    void greeting()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QByteArray, endlessRest);
        QFETCH(QString, error);
        QFETCH(int, lines);
        RawServer server([greeting, endlessRest](RawServer::Connection& connection) {
            if (!connection.send(greeting))
                return;
            while (!endlessRest.isEmpty() && connection.send(endlessRest)) {
            }
            connection.readUntilGone();
        });
        WaitPolicy policy;
        ControlConnection control(policy);
        QVERIFY(control.open(QStringLiteral("127.0.0.1"), server.port()));
        const auto reply = control.readReply();
        QVERIFY2(reply.has_value() == error.isEmpty(), qPrintable(control.errorText()));
        if (!reply) {
            QVERIFY2(control.errorText().contains(error), qPrintable(control.errorText()));
            return;
        }
        QCOMPARE(reply->code, 220);
        QCOMPARE(reply->lines.first(), QStringLiteral("welcome"));
        QCOMPARE(reply->lines.size() + reply->droppedLines, lines);
        // A few KiB are kept, the rest only counted.
        QVERIFY(reply->text().size() <= Reply::maxKeptCharacters);
        QVERIFY(reply->summary().size() < 400);
        QVERIFY(control.isOpen()); // read to its end: the next reply lines up
    }

    void passwordIsMaskedOnly_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("passReply"); // %1 stands for the password as it arrived
        QTest::addColumn<QStringList>("transcriptHas");
        QTest::addColumn<QString>("errorHas");
        QTest::newRow("echoed by the server") << QStringLiteral("u") << secret << QByteArray("530 Login incorrect for '%1'.")
                                              << QStringList{QStringLiteral("< 530 Login incorrect for '****'.")}
                                              << QStringLiteral("for '****'.");
        // The letters of a short password inside other words are not the password.
        QTest::newRow("one letter") << QStringLiteral("u") << QStringLiteral("e") << QByteArray("530 Login incorrect, e.")
                                    << QStringList{QStringLiteral("< 530 Login incorrect, ****."),
                                                   QStringLiteral("[LoggingIn] -> [Disconnected]")}
                                    << QStringLiteral("login refused: 530 Login incorrect, ****.");
        QTest::newRow("same as the user name") << QStringLiteral("name") << QStringLiteral("name") << QByteArray("530 Sorry.")
                                               << QStringList{QStringLiteral("> USER name"), QStringLiteral("> PASS ****")}
                                               << QStringLiteral("login refused: 530 Sorry.");
    }

    void passwordIsMaskedOnly()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, passReply);
        QFETCH(QStringList, transcriptHas);
        QFETCH(QString, errorHas);
        RawServer server([passReply](RawServer::Connection& connection) {
            if (!connection.send("220 hi\r\n") || !connection.expect("USER") || !connection.send("331 password\r\n"))
                return;
            if (const auto pass = connection.expect("PASS"))
                connection.send(QByteArray(passReply).replace("%1", pass->mid(5)) + "\r\n");
            connection.readUntilGone();
        });
        QStringList transcript;
        FtpSession session;
        session.setTranscript([&transcript](const QString& line) { transcript.append(line); });
        QVERIFY(!session.openConnection({QStringLiteral("127.0.0.1"), QString::number(server.port()), user, password, true}));
        for (const QString& line : std::as_const(transcriptHas))
            QVERIFY2(transcript.contains(line), qPrintable(transcript.join(QLatin1Char('\n'))));
        QVERIFY2(session.lastError().contains(errorHas), qPrintable(session.lastError()));
        QVERIFY(!transcript.join(QLatin1Char('\n')).contains(secret));
    }

    void download_data()
    {
        QTest::addColumn<bool>("pasv");            // EPSV refused, and PASV names an address nobody can reach
        QTest::addColumn<QByteArray>("sizeReply"); // to SIZE, which progress makes the session ask; empty: not asked
        QTest::addColumn<QByteArray>("replies");   // to RETR, before the data
        QTest::addColumn<int>("sent");
        QTest::addColumn<QByteArray>("ending"); // after the data; "426 ..." resets the data connection first
        QTest::addColumn<QString>("error");     // empty: the download succeeds
        const QByteArray go("150 go");
        QTest::newRow("PASV address replaced by the server's")
            << true << QByteArray() << go << 15 << QByteArray("226 done") << QString();
        QTest::newRow("226 before the last bytes")
            << false << QByteArray() << QByteArray("150 go\r\n226 done already") << 200'000 << QByteArray() << QString();
        QTest::newRow("broken off by the server") << false << QByteArray() << go << 5000
                                                  << QByteArray("426 Connection closed; transfer aborted.") << QStringLiteral("426");
        QTest::newRow("short of the size in the 150 reply")
            << false << QByteArray() << QByteArray("150 Opening BINARY mode data connection for f (1000 bytes)") << 500
            << QByteArray("226 done") << QStringLiteral("500 of 1000 bytes");
        QTest::newRow("longer than SIZE said") << false << QByteArray("213 1000") << go << 1500 << QByteArray("226 done")
                                               << QStringLiteral("1500 of 1000 bytes");
    }

    void download()
    {
        QFETCH(bool, pasv);
        QFETCH(QByteArray, sizeReply);
        QFETCH(QByteArray, replies);
        QFETCH(int, sent);
        QFETCH(QByteArray, ending);
        QFETCH(QString, error);
        RawServer server([=](RawServer::Connection& connection) {
            // 230 right after USER: the client asks for no password.
            if (!connection.send("220 hi\r\n") || !connection.expect("USER") || !connection.send("230 in\r\n")
                || !connection.readLine().value_or("").startsWith("FEAT") || !connection.send("211-Features:\r\n SIZE\r\n211 End\r\n"))
                return;
            if (!sizeReply.isEmpty() && (!connection.expect("SIZE") || !connection.send(sizeReply + "\r\n")))
                return;
            if (pasv) {
                if (!connection.expect("EPSV") || !connection.send("500 what?\r\n") || !connection.expect("PASV"))
                    return;
                const quint16 port = connection.listenForData();
                const QByteArray numbers = "10,255,255,1," + QByteArray::number(port >> 8) + ',' + QByteArray::number(port & 0xFF);
                if (!connection.send("227 Entering Passive Mode (" + numbers + ")\r\n"))
                    return;
            } else if (!connection.offerExtendedPassive()) {
                return;
            }
            if (!connection.expect("RETR") || !connection.send(replies + "\r\n"))
                return;
            const int data = connection.acceptData();
            connection.sendData(data, QByteArray(sent, 'x'));
            if (ending.startsWith("426"))
                ::shutdown(data, SHUT_RDWR);
            ::close(data);
            if (!ending.isEmpty())
                connection.send(ending + "\r\n");
            connection.readUntilGone();
        });
        FtpSession session;
        QVERIFY(session.openConnection(settings(server)));
        const FtpSession::Progress progress = sizeReply.isEmpty() ? FtpSession::Progress() : [](qint64, qint64) {};
        QCOMPARE(session.ftpGet(m_target, QStringLiteral("f"), progress), error.isEmpty());
        QVERIFY(session.isConnected()); // a refusal, not a broken connection
        if (!error.isEmpty()) {
            QVERIFY2(session.lastError().contains(error), qPrintable(session.lastError()));
            checkOldFileUntouched();
            return;
        }
        QFile file(m_target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(sent, 'x'));
    }

    void listingOutcomes_data()
    {
        QTest::addColumn<QByteArray>("reply"); // to LIST; "150" sends so many one-letter lines
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("listed");
        QTest::newRow("no files found") << QByteArray("550 No files found.") << 0 << true;
        QTest::newRow("no members found") << QByteArray("450 No members found") << 0 << true;
        QTest::newRow("missing folder") << QByteArray("550 No such file or directory.") << 0 << false;
        // Three bytes a line on the wire, a few hundred bytes each in memory: a million is enough.
        QTest::newRow("more than a million entries") << QByteArray("150 here") << 1'000'001 << false;
    }

    void listingOutcomes()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, lines);
        QFETCH(bool, listed);
        RawServer server([reply, lines](RawServer::Connection& connection) {
            if (!RawServer::greetAndLogin(connection) || !connection.offerExtendedPassive() || !connection.expect("LIST")
                || !connection.send(reply + "\r\n"))
                return;
            if (lines > 0) {
                const int data = connection.acceptData();
                connection.sendData(data, QByteArray("x\r\n").repeated(lines));
                ::close(data);
                connection.send("226 done\r\n");
            }
            connection.readUntilGone();
        });
        FtpSession session;
        QVERIFY(session.openConnection(settings(server)));
        const auto entries = session.ftpList();
        QCOMPARE(entries.has_value(), listed);
        if (entries)
            QVERIFY(entries->isEmpty());
        else if (lines > 0)
            QVERIFY2(session.lastError().contains(QLatin1String("more than 1000000 entries")), qPrintable(session.lastError()));
        QVERIFY(session.isConnected());
    }

    // Lines sent in plain text behind "234" would pass for encrypted replies if they were read as such.
    void plainTextAfterAuthTlsIsRefused()
    {
        RawServer server([](RawServer::Connection& connection) {
            if (connection.send("220 hi\r\n") && connection.expect("AUTH") && connection.send("234 go ahead\r\n230 forged\r\n"))
                connection.readUntilGone();
        });
        QStringList transcript;
        FtpSession session;
        session.setTranscript([&transcript](const QString& line) { transcript.append(line); });
        ConnectionSettings values = settings(server);
        values.encryption = ConnectionSettings::Encryption::Required;
        QVERIFY(!session.openConnection(values));
        QCOMPARE(session.tlsOutcome(), TlsOutcome::Failed);
        QVERIFY2(session.lastError().contains(QLatin1String("TLS")), qPrintable(session.lastError()));
        QVERIFY(transcript.filter(QStringLiteral("> USER")).isEmpty());
    }

private:
    void checkOldFileUntouched()
    {
        QFile file(m_target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("the old file"));
        // No temporary file stays behind either.
        QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("target.bin")});
    }

    std::unique_ptr<QTemporaryDir> m_local;
    QString m_target;
};

QTEST_GUILESS_MAIN(HostileServersTest)
#include "tst_hostileservers.moc"
