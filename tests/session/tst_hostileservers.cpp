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

// The session against servers that misbehave on purpose: silent, endless, out of turn. Whatever
// they do, a job ends - by the idle time-out, by the cancel flag, or by the input bounds.
class HostileServersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void silentServerTimesOut();
    void cancelEndsTheWaitForTheGreeting();
    void cancelEndsAStalledDownload();
    void stalledDataConnectionTimesOut();
    void badGreetingIsRefused_data();
    void badGreetingIsRefused();
    void longReplyKeepsOnlyItsStart();
    void passwordIsMaskedOnly_data();
    void passwordIsMaskedOnly();
    void multiLineRepliesAreFramed();
    void pasvAddressIsReplacedByTheServersAddress();
    void finalReplyBeforeTheLastBytes();
    void incompleteDownloadKeepsTheOldFile_data();
    void incompleteDownloadKeepsTheOldFile();
    void listingOutcomes_data();
    void listingOutcomes();
    void closingReplyEndsTheConnection();
    void endlessPreliminaryRepliesEnd_data();
    void endlessPreliminaryRepliesEnd();
    void plainTextAfterAuthTlsIsRefused();

private:
    ConnectionSettings settings(const RawServer& server) const;
    void writeExisting();
    void checkExistingUntouched();

    std::unique_ptr<QTemporaryDir> m_local;
    QString m_target;
};

namespace {

const QString secret = QStringLiteral("hunter2-pw");

qint64 nowMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// How late a cancelled wait may end; the engine looks every 50 ms, the rest is a loaded machine.
constexpr qint64 cancelSlackMilliseconds = 1000;

// A server that logs in, offers a passive data connection and starts a download, then runs rest.
RawServer::Script downloadScript(const std::function<void(RawServer::Connection&, int data)>& rest)
{
    return [rest](RawServer::Connection& connection) {
        if (!RawServer::greetAndLogin(connection) || !connection.offerExtendedPassive() || !connection.expect("RETR")
            || !connection.send("150 here it comes\r\n"))
            return;
        const int data = connection.acceptData();
        if (data < 0)
            return;
        rest(connection, data);
        ::close(data);
        connection.readUntilGone();
    };
}

} // namespace

void HostileServersTest::init()
{
    m_local = std::make_unique<QTemporaryDir>();
    m_target = m_local->filePath(QStringLiteral("target.bin"));
}

ConnectionSettings HostileServersTest::settings(const RawServer& server) const
{
    return ConnectionSettings{QStringLiteral("127.0.0.1"), QString::number(server.port()), QStringLiteral("u"), secret, true};
}

void HostileServersTest::writeExisting()
{
    QFile file(m_target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("the old file");
}

void HostileServersTest::checkExistingUntouched()
{
    QFile file(m_target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("the old file"));
    // No temporary file stays behind either.
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("target.bin")});
}

void HostileServersTest::silentServerTimesOut()
{
    RawServer server; // accepts nothing, says nothing
    FtpSession session;
    session.setTimeouts(20'000, 300);
    QVERIFY(!session.openConnection(settings(server)));
    QVERIFY2(session.lastError().contains(QLatin1String("time-out")), qPrintable(session.lastError()));
    QVERIFY(!session.isConnected());
}

void HostileServersTest::cancelEndsTheWaitForTheGreeting()
{
    std::atomic<bool> cancel{false};
    std::atomic<qint64> cancelledAt{0};
    RawServer server([&](RawServer::Connection& connection) {
        cancelledAt = nowMilliseconds();
        cancel = true;
        connection.readUntilGone();
    });
    FtpSession session;
    session.setCancelFlag(&cancel);
    QVERIFY(!session.openConnection(settings(server)));
    const qint64 late = nowMilliseconds() - cancelledAt;
    QVERIFY(cancel);
    QVERIFY2(late < cancelSlackMilliseconds, qPrintable(QString::number(late)));
    QCOMPARE(session.lastError(), QStringLiteral("cancelled"));
}

void HostileServersTest::cancelEndsAStalledDownload()
{
    writeExisting();
    std::atomic<bool> cancel{false};
    std::atomic<qint64> cancelledAt{0};
    RawServer server(downloadScript([&](RawServer::Connection& connection, int data) {
        connection.sendData(data, QByteArray(1000, 'x'));
        cancelledAt = nowMilliseconds();
        cancel = true;
        connection.readUntilGone();
    }));
    FtpSession session;
    session.setCancelFlag(&cancel);
    QVERIFY(session.openConnection(settings(server)));
    QVERIFY(!session.ftpGet(m_target, QStringLiteral("big.bin")));
    const qint64 late = nowMilliseconds() - cancelledAt;
    QVERIFY2(late < cancelSlackMilliseconds, qPrintable(QString::number(late)));
    QVERIFY(session.lastError().contains(QLatin1String("cancelled")));
    QVERIFY(!session.isConnected());
    checkExistingUntouched();
}

void HostileServersTest::stalledDataConnectionTimesOut()
{
    writeExisting();
    RawServer server(downloadScript([](RawServer::Connection& connection, int data) {
        connection.sendData(data, QByteArray(1000, 'x'));
        connection.readUntilGone();
    }));
    FtpSession session;
    session.setTimeouts(20'000, 300);
    QVERIFY(session.openConnection(settings(server)));
    QVERIFY(!session.ftpGet(m_target, QStringLiteral("big.bin")));
    QVERIFY2(session.lastError().contains(QLatin1String("time-out")), qPrintable(session.lastError()));
    QVERIFY(!session.isConnected());
    checkExistingUntouched();
}

void HostileServersTest::badGreetingIsRefused_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("endlessRest"); // sent again and again after the greeting
    QTest::addColumn<QString>("error");
    QByteArray lines;
    for (int i = 0; i < 1000; ++i)
        lines += "220-and more\r\n";
    QTest::newRow("endless reply line") << QByteArray("220 ") << QByteArray(64 * 1024, 'a')
                                        << QStringLiteral("longer than 65536 bytes");
    QTest::newRow("endless multi-line reply") << QByteArray() << lines << QStringLiteral("more than 10000 lines");
    QTest::newRow("reply without a code") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n") << QByteArray()
                                          << QStringLiteral("no valid reply");
}

void HostileServersTest::badGreetingIsRefused()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, endlessRest);
    QFETCH(QString, error);
    RawServer server([greeting, endlessRest](RawServer::Connection& connection) {
        if (!connection.send(greeting))
            return;
        if (endlessRest.isEmpty())
            connection.readUntilGone();
        else
            while (connection.send(endlessRest)) {
            }
    });
    FtpSession session;
    QVERIFY(!session.openConnection(settings(server)));
    QVERIFY2(session.lastError().contains(error), qPrintable(session.lastError()));
}

void HostileServersTest::longReplyKeepsOnlyItsStart()
{
    constexpr int innerLines = 5000;
    RawServer server([](RawServer::Connection& connection) {
        QByteArray banner = "220-welcome\r\n";
        for (int i = 0; i < innerLines; ++i)
            banner += "220-" + QByteArray(1000, 'x') + "\r\n";
        if (connection.send(banner + "220 end\r\n"))
            connection.readUntilGone();
    });
    WaitPolicy policy;
    ControlConnection control(policy);
    QVERIFY(control.open(QStringLiteral("127.0.0.1"), server.port()));
    const auto reply = control.readReply();
    QVERIFY2(reply, qPrintable(control.errorText()));
    QCOMPARE(reply->code, 220);
    QCOMPARE(reply->lines.first(), QStringLiteral("welcome"));
    // Five megabytes arrived; a few KiB of them are kept, the rest only counted.
    QVERIFY(reply->text().size() <= Reply::maxKeptCharacters);
    QCOMPARE(reply->lines.size() + reply->droppedLines, innerLines + 2);
    QVERIFY(reply->summary().size() < 400);
    QVERIFY(control.isOpen()); // read to its end: the next reply lines up
}

void HostileServersTest::passwordIsMaskedOnly_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("passReply"); // %1 stands for the password as it arrived
    QTest::addColumn<QStringList>("transcriptHas");
    QTest::addColumn<QString>("errorHas");
    QTest::newRow("echoed by the server") << QStringLiteral("u") << secret
                                          << QByteArray("530 Login incorrect for '%1'.")
                                          << QStringList{QStringLiteral("< 530 Login incorrect for '****'.")}
                                          << QStringLiteral("for '****'.");
    // The letters of a short password inside other words are not the password.
    QTest::newRow("one letter") << QStringLiteral("u") << QStringLiteral("e") << QByteArray("530 Login incorrect, e.")
                                << QStringList{QStringLiteral("< 530 Login incorrect, ****."),
                                               QStringLiteral("[LoggingIn] -> [Disconnected]")}
                                << QStringLiteral("login refused: 530 Login incorrect, ****.");
    QTest::newRow("same as the user name") << QStringLiteral("name") << QStringLiteral("name")
                                           << QByteArray("530 Sorry.")
                                           << QStringList{QStringLiteral("> USER name"), QStringLiteral("> PASS ****")}
                                           << QStringLiteral("login refused: 530 Sorry.");
}

void HostileServersTest::passwordIsMaskedOnly()
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
    ConnectionSettings values = settings(server);
    values.user = user;
    values.password = password;
    QVERIFY(!session.openConnection(values));
    for (const QString& line : std::as_const(transcriptHas))
        QVERIFY2(transcript.contains(line), qPrintable(transcript.join(QLatin1Char('\n'))));
    QVERIFY2(session.lastError().contains(errorHas), qPrintable(session.lastError()));
    QVERIFY(!transcript.join(QLatin1Char('\n')).contains(secret));
}

void HostileServersTest::multiLineRepliesAreFramed()
{
    RawServer server([](RawServer::Connection& connection) {
        // Inner lines may start with blanks or with the code and another character.
        if (!connection.send("220-Welcome\r\n 220 indented, not the end\r\n220x neither\r\n220 end\r\n")
            || !connection.expect("USER") || !connection.send("230-Hello\r\n230-\r\n230 logged in\r\n")
            || !connection.expect("FEAT") || !connection.send("211-Features:\r\n MLSD\r\n211 End\r\n")
            || !connection.expect("PWD") || !connection.send("257 \"/a \"\"b\"\"\" is here\r\n"))
            return;
        connection.readUntilGone();
    });
    QStringList transcript;
    FtpSession session;
    session.setTranscript([&transcript](const QString& line) { transcript.append(line); });
    QVERIFY2(session.openConnection(settings(server)), qPrintable(session.lastError()));
    QCOMPARE(session.ftpCurrentDir(), QStringLiteral("/a \"b\""));
    QVERIFY(transcript.contains(QStringLiteral("< 220 Welcome 220 indented, not the end 220x neither end")));
    QVERIFY(!transcript.contains(QStringLiteral("> PASS ****"))); // 230 right after USER: no password asked
}

void HostileServersTest::pasvAddressIsReplacedByTheServersAddress()
{
    RawServer server([](RawServer::Connection& connection) {
        if (!RawServer::greetAndLogin(connection) || !connection.expect("EPSV") || !connection.send("500 what?\r\n")
            || !connection.expect("PASV"))
            return;
        const quint16 port = connection.listenForData();
        // An address nobody can reach: the client must use the control connection's peer.
        const QByteArray numbers = "10,255,255,1," + QByteArray::number(port >> 8) + ',' + QByteArray::number(port & 0xFF);
        if (!connection.send("227 Entering Passive Mode (" + numbers + ")\r\n") || !connection.expect("RETR")
            || !connection.send("150 go\r\n"))
            return;
        const int data = connection.acceptData();
        connection.sendData(data, "hello over PASV");
        ::close(data);
        connection.send("226 done\r\n");
        connection.readUntilGone();
    });
    FtpSession session;
    session.setTimeouts(2000, 2000);
    QVERIFY(session.openConnection(settings(server)));
    QVERIFY2(session.ftpGet(m_target, QStringLiteral("f")), qPrintable(session.lastError()));
    QFile file(m_target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("hello over PASV"));
}

void HostileServersTest::finalReplyBeforeTheLastBytes()
{
    const QByteArray payload(200'000, 'p');
    RawServer server([&payload](RawServer::Connection& connection) {
        if (!RawServer::greetAndLogin(connection) || !connection.offerExtendedPassive() || !connection.expect("RETR")
            || !connection.send("150 go\r\n226 done already\r\n"))
            return;
        const int data = connection.acceptData();
        connection.sendData(data, payload);
        ::close(data);
        connection.readUntilGone();
    });
    FtpSession session;
    QVERIFY(session.openConnection(settings(server)));
    QVERIFY2(session.ftpGet(m_target, QStringLiteral("f")), qPrintable(session.lastError()));
    QFile file(m_target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().size(), payload.size());
}

void HostileServersTest::incompleteDownloadKeepsTheOldFile_data()
{
    QTest::addColumn<QByteArray>("sizeReply"); // to SIZE; empty: not asked
    QTest::addColumn<QByteArray>("preliminary");
    QTest::addColumn<int>("sent");
    QTest::addColumn<QByteArray>("ending"); // "426 ..." resets the data connection first
    QTest::addColumn<QString>("error");
    QTest::newRow("broken off by the server") << QByteArray() << QByteArray("150 go") << 5000
                                              << QByteArray("426 Connection closed; transfer aborted.")
                                              << QStringLiteral("426");
    QTest::newRow("short of the size in the 150 reply")
        << QByteArray() << QByteArray("150 Opening BINARY mode data connection for f (1000 bytes)") << 500
        << QByteArray("226 done") << QStringLiteral("500 of 1000 bytes");
    QTest::newRow("longer than SIZE said") << QByteArray("213 1000") << QByteArray("150 go") << 1500
                                           << QByteArray("226 done") << QStringLiteral("1500 of 1000 bytes");
}

void HostileServersTest::incompleteDownloadKeepsTheOldFile()
{
    QFETCH(QByteArray, sizeReply);
    QFETCH(QByteArray, preliminary);
    QFETCH(int, sent);
    QFETCH(QByteArray, ending);
    QFETCH(QString, error);
    writeExisting();
    RawServer server([=](RawServer::Connection& connection) {
        if (!connection.send("220 hi\r\n") || !connection.expect("USER") || !connection.send("230 in\r\n")
            || !connection.expect("FEAT") || !connection.send("211-Features:\r\n SIZE\r\n211 End\r\n"))
            return;
        if (!sizeReply.isEmpty() && (!connection.expect("SIZE") || !connection.send(sizeReply + "\r\n")))
            return;
        if (!connection.offerExtendedPassive() || !connection.expect("RETR") || !connection.send(preliminary + "\r\n"))
            return;
        const int data = connection.acceptData();
        connection.sendData(data, QByteArray(sent, 'x'));
        if (ending.startsWith("426"))
            ::shutdown(data, SHUT_RDWR);
        ::close(data);
        connection.send(ending + "\r\n");
        connection.readUntilGone();
    });
    FtpSession session;
    QVERIFY(session.openConnection(settings(server)));
    // Progress is what makes the session ask SIZE.
    const FtpSession::Progress progress = sizeReply.isEmpty() ? FtpSession::Progress() : [](qint64, qint64) {};
    QVERIFY(!session.ftpGet(m_target, QStringLiteral("f"), progress));
    QVERIFY2(session.lastError().contains(error), qPrintable(session.lastError()));
    QVERIFY(session.isConnected()); // a refusal, not a broken connection
    checkExistingUntouched();
}

void HostileServersTest::listingOutcomes_data()
{
    QTest::addColumn<QByteArray>("reply"); // to LIST; "150" sends lines one-letter lines
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("listed");
    QTest::newRow("no files found") << QByteArray("550 No files found.") << 0 << true;
    QTest::newRow("missing folder") << QByteArray("550 No such file or directory.") << 0 << false;
    // Three bytes a line on the wire, a few hundred bytes each in memory: a million is enough.
    QTest::newRow("more than a million entries") << QByteArray("150 here") << 1'000'001 << false;
}

void HostileServersTest::listingOutcomes()
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
            QByteArray block;
            for (int i = 0; i < lines; ++i)
                block += "x\r\n";
            connection.sendData(data, block);
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

void HostileServersTest::closingReplyEndsTheConnection()
{
    RawServer server([](RawServer::Connection& connection) {
        if (RawServer::greetAndLogin(connection) && connection.expect("PWD"))
            connection.send("421 Timeout.\r\n");
    });
    FtpSession session;
    QVERIFY(session.openConnection(settings(server)));
    QVERIFY(session.ftpCurrentDir().isEmpty());
    QVERIFY(!session.isConnected());
    QVERIFY2(session.lastError().contains(QLatin1String("421")), qPrintable(session.lastError()));
}

void HostileServersTest::endlessPreliminaryRepliesEnd_data()
{
    QTest::addColumn<QByteArray>("verb"); // answered with "120" again and again, and nothing else
    QTest::addColumn<int>("intervalMilliseconds");
    QTest::addColumn<QString>("error");
    QTest::newRow("many at once") << QByteArray("PWD") << 0 << QStringLiteral("preliminary replies");
    // Each one comes well within the idle time-out of 500 ms; together they take longer.
    QTest::newRow("one now and then") << QByteArray("PWD") << 200 << QStringLiteral("time-out");
    QTest::newRow("during a transfer") << QByteArray("RETR") << 0 << QStringLiteral("preliminary replies");
}

void HostileServersTest::endlessPreliminaryRepliesEnd()
{
    QFETCH(QByteArray, verb);
    QFETCH(int, intervalMilliseconds);
    QFETCH(QString, error);
    writeExisting();
    RawServer server([verb, intervalMilliseconds](RawServer::Connection& connection) {
        if (!RawServer::greetAndLogin(connection))
            return;
        int data = -1;
        if (verb == "RETR") {
            if (!connection.offerExtendedPassive() || !connection.expect("RETR") || !connection.send("150 go\r\n"))
                return;
            data = connection.acceptData(); // open, and silent
        } else if (!connection.expect(verb)) {
            return;
        }
        while (connection.send("120 in a moment\r\n"))
            std::this_thread::sleep_for(std::chrono::milliseconds(intervalMilliseconds));
        ::close(data);
    });
    FtpSession session;
    session.setTimeouts(20'000, 500);
    QVERIFY(session.openConnection(settings(server)));
    if (verb == "RETR")
        QVERIFY(!session.ftpGet(m_target, QStringLiteral("f")));
    else
        QVERIFY(session.ftpCurrentDir().isEmpty());
    QVERIFY2(session.lastError().contains(error), qPrintable(session.lastError()));
    QVERIFY(!session.isConnected());
    checkExistingUntouched();
}

// Lines sent in plain text behind "234" would pass for encrypted replies if they were read as such.
void HostileServersTest::plainTextAfterAuthTlsIsRefused()
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

QTEST_GUILESS_MAIN(HostileServersTest)
#include "tst_hostileservers.moc"
