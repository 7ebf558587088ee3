#include "ControlConnection.h"
#include "FtpSession.h"
#include "FtpUploadStream.h"
#include "RawServer.h"
#include "TestHelpers.h"

#include <QTemporaryDir>

#include <chrono>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString secret = QStringLiteral("hunter2-pw");

ConnectionSettings settings(const RawServer& server)
{
    return {.host = QStringLiteral("127.0.0.1"),
            .port = QString::number(server.port()),
            .user = QStringLiteral("u"),
            .password = secret,
            .ftp = {.passive = true}};
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
        QVERIFY(writeFile(m_target, "the old file"));
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
        // One more line every 200 ms; the reply would end (and the login go on) only after 4 s.
        const QByteArray lines("lines slowly");
        QTest::newRow("greeting a line now and then") << greeting << lines << QStringLiteral("time-out");
        QTest::newRow("reply a line now and then") << pwd << lines << QStringLiteral("time-out");
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
            const bool slow = behaviour == "lines slowly";
            const auto slowLines = [&connection](const QByteArray& code) {
                for (int i = 0; i < 20 && connection.send(code + "-and more\r\n"); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
            };
            int data = -1;
            if (stage != "greeting" || slow) {
                if (stage == "greeting")
                    slowLines("220");
                if (!RawServer::greetAndLogin(connection))
                    return;
                if (stage == "RETR") {
                    if (!connection.offerExtendedPassive() || !connection.expect("RETR") || !connection.send("150 go\r\n"))
                        return;
                    data = connection.acceptData();
                    connection.send(QByteArray(1000, 'x'), data);
                } else if (!connection.expect(stage)) {
                    return;
                }
            }
            if (stage == "PWD" && slow) {
                slowLines("257");
                connection.send("257 \"/\"\r\n");
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
            QVERIFY(!session.get(m_target, QStringLiteral("f")));
        else if (stage == "PWD")
            QVERIFY(session.currentDir().isEmpty());
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
        QTEST(int(reply->lines.size() + reply->droppedLines), "lines");
        // A few KiB are kept, the rest only counted.
        QVERIFY(reply->text().size() <= Reply::maxKeptCharacters);
        QVERIFY(reply->summary().size() < 400);
        QVERIFY(control.isOpen()); // read to its end: the next reply lines up
    }

    // Logins that fail: the server answers each command of the script in turn ("%1" stands for
    // the argument as it arrived). The password goes nowhere, and only the PASS argument is masked;
    // plain lines behind "234" would pass for encrypted replies if they were read as such.
    void refusedLogin_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArrayList>("script"); // a command, its reply, and so on
        QTest::addColumn<QStringList>("transcriptHas");
        QTest::addColumn<QString>("errorHas");
        const QByteArray user("USER");
        const QByteArray pass("PASS");
        const QByteArray asked("331 password");
        QTest::newRow("password echoed by the server")
            << QStringLiteral("u") << secret << QByteArrayList{user, asked, pass, "530 Login incorrect for '%1'."}
            << QStringList{QStringLiteral("< 530 Login incorrect for '****'.")} << QStringLiteral("for '****'.");
        // The letters of a short password inside other words are not the password.
        QTest::newRow("one-letter password")
            << QStringLiteral("u") << QStringLiteral("e") << QByteArrayList{user, asked, pass, "530 Login incorrect, %1."}
            << QStringList{QStringLiteral("< 530 Login incorrect, ****."),
                           QStringLiteral("[LoggingIn] -> [Disconnected]")}
            << QStringLiteral("login refused: 530 Login incorrect, ****.");
        QTest::newRow("password same as the user name")
            << QStringLiteral("name") << QStringLiteral("name") << QByteArrayList{user, asked, pass, "530 Sorry."}
            << QStringList{QStringLiteral("> USER name"), QStringLiteral("> PASS ****")}
            << QStringLiteral("login refused: 530 Sorry.");
        QTest::newRow("plain text after AUTH TLS")
            << QStringLiteral("u") << secret << QByteArrayList{"AUTH", "234 go ahead\r\n230 forged"}
            << QStringList{QStringLiteral("> AUTH TLS")} << QStringLiteral("more after agreeing to TLS");
    }

    void refusedLogin()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArrayList, script);
        QFETCH(QStringList, transcriptHas);
        QFETCH(QString, errorHas);
        RawServer server([script](RawServer::Connection& connection) {
            bool going = connection.send("220 hi\r\n");
            for (qsizetype at = 0; going && at + 1 < script.size(); at += 2) {
                const auto command = connection.expect(script[at]);
                going = command && connection.send(QByteArray(script[at + 1]).replace("%1", command->mid(5)) + "\r\n");
            }
            connection.readUntilGone();
        });
        QStringList transcript;
        FtpSession session;
        session.setTranscript([&transcript](const QString& line) { transcript.append(line); });
        ConnectionSettings values{.host = QStringLiteral("127.0.0.1"), .port = QString::number(server.port()), .user = user,
                                  .password = password, .ftp = {.passive = true}};
        if (script.first() == "AUTH")
            values.ftp.encryption = FtpSettings::Encryption::Required;
        QVERIFY(!session.openConnection(values));
        for (const QString& line : std::as_const(transcriptHas))
            QVERIFY2(transcript.contains(line), qPrintable(transcript.join(QLatin1Char('\n'))));
        QVERIFY2(session.lastError().contains(errorHas), qPrintable(session.lastError()));
        QVERIFY(!transcript.join(QLatin1Char('\n')).contains(secret));
        QCOMPARE(transcript.filter(QStringLiteral("> USER")).isEmpty(), script.first() == "AUTH");
    }

    // A listing or a download through a data connection: what the server replies to the command,
    // what it sends, and how it ends.
    void dataCommand_data()
    {
        QTest::addColumn<QByteArray>("verb");
        QTest::addColumn<bool>("pasv");            // EPSV refused, and PASV names an address nobody can reach
        QTest::addColumn<QByteArray>("sizeReply"); // to SIZE, which progress makes the session ask; empty: not asked
        QTest::addColumn<QByteArray>("replies");   // to the command, before the data; a final reply: no data
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("ending"); // after the data; "426 ..." resets the data connection first
        QTest::addColumn<QString>("error");     // empty: the command succeeds
        const QByteArray go("150 go");
        const QByteArray done("226 done");
        const QByteArray none;
        const QByteArray retr("RETR");
        const QByteArray list("LIST");
        QTest::newRow("PASV address replaced by the server's")
            << retr << true << none << go << QByteArray(15, 'x') << done << QString();
        QTest::newRow("226 before the last bytes")
            << retr << false << none << QByteArray("150 go\r\n226 done already") << QByteArray(200'000, 'x') << none
            << QString();
        QTest::newRow("broken off by the server") << retr << false << none << go << QByteArray(5000, 'x')
                                                  << QByteArray("426 Connection closed; transfer aborted.") << QStringLiteral("426");
        QTest::newRow("short of the size in the 150 reply")
            << retr << false << none << QByteArray("150 Opening BINARY mode data connection for f (1000 bytes)")
            << QByteArray(500, 'x') << done << QStringLiteral("500 of 1000 bytes");
        QTest::newRow("longer than SIZE said") << retr << false << QByteArray("213 1000") << go << QByteArray(1500, 'x')
                                               << done << QStringLiteral("1500 of 1000 bytes");
        QTest::newRow("no files found")
            << list << false << none << QByteArray("550 No files found.") << none << none << QString();
        QTest::newRow("no members found")
            << list << false << none << QByteArray("450 No members found") << none << none << QString();
        // vsftpd's listing of a folder it cannot read: no data, and a 226 that says so.
        QTest::newRow("folder not opened") << list << false << none << go << none
                                           << QByteArray("226 Transfer done (but failed to open directory).")
                                           << QStringLiteral("failed to open directory");
        QTest::newRow("missing folder") << list << false << none << QByteArray("550 No such file or directory.") << none
                                        << none << QStringLiteral("550");
        // The shortest line a parser reads, a few hundred bytes each in memory: a million is enough.
        QTest::newRow("more than a million entries") << list << false << none << go
                                                     << QByteArray("01-01-20 00:00 1 x\r\n").repeated(1'000'001) << done
                                                     << QStringLiteral("more than 1000000 entries");
        // Long names reach the bound of the text long before that of the entries.
        QTest::newRow("more than 64 MiB of text") << list << false << none << go
                                                  << (QByteArray(1022, 'n') + "\r\n").repeated(64 * 1024 + 1) << done
                                                  << QStringLiteral("larger than 64 MiB");
    }

    void dataCommand()
    {
        QFETCH(QByteArray, verb);
        QFETCH(bool, pasv);
        QFETCH(QByteArray, sizeReply);
        QFETCH(QByteArray, replies);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, ending);
        QFETCH(QString, error);
        RawServer server([=](RawServer::Connection& connection) {
            if (!RawServer::greetAndLogin(connection))
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
            if (!connection.expect(verb) || !connection.send(replies + "\r\n"))
                return;
            if (replies.startsWith("150")) {
                const int descriptor = connection.acceptData();
                connection.send(data, descriptor);
                if (ending.startsWith("426"))
                    ::shutdown(descriptor, SHUT_RDWR);
                ::close(descriptor);
            }
            if (!ending.isEmpty())
                connection.send(ending + "\r\n");
            connection.readUntilGone();
        });
        FtpSession session;
        QVERIFY(session.openConnection(settings(server)));
        if (verb == "LIST") {
            const auto entries = session.list();
            QCOMPARE(entries.has_value(), error.isEmpty());
            QVERIFY(entries ? entries->isEmpty() : session.lastError().contains(error));
        } else {
            const FtpSession::Progress progress = sizeReply.isEmpty() ? FtpSession::Progress() : [](qint64, qint64) {};
            QCOMPARE(session.get(m_target, QStringLiteral("f"), progress), error.isEmpty());
            QVERIFY2(session.lastError().contains(error), qPrintable(session.lastError()));
            if (!error.isEmpty())
                checkOldFileUntouched();
            else
                QCOMPARE(readFile(m_target), data);
        }
        QVERIFY(session.isConnected()); // a refusal, not a broken connection
    }

    // How a data connection ends, as a server or a man in the middle may end it. Over TLS only the
    // server's close_notify shows the data whole (or, for servers that never send it, the size
    // they named); a data connection closed before its handshake fails the transfer; an upload's
    // final reply counts only when it came after all of the upload.
    void dataConnectionEnds_data()
    {
        QTest::addColumn<QByteArray>("verb");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QByteArray>("ending"); // how the server ends the data connection
        QTest::addColumn<QString>("error");     // empty: the transfer succeeds
        const QByteArray retr("RETR");
        const QByteArray cut("cut");
        QTest::newRow("download cut off") << retr << true << cut << QStringLiteral("close_notify after 311296 bytes");
        QTest::newRow("listing cut off") << QByteArray("LIST") << true << cut << QStringLiteral("close_notify");
        // The 150 reply names the size then.
        QTest::newRow("no close_notify, the size named") << retr << true << QByteArray("no close_notify") << QString();
        QTest::newRow("close_notify after the 226") << retr << true << QByteArray("226 first") << QString();
        for (const char* verb : {"RETR", "LIST", "STOR"})
            QTest::addRow("%s closed before the handshake", verb)
                << QByteArray(verb) << true << QByteArray("no handshake") << QStringLiteral("handshake");
        QTest::newRow("TLS upload") << QByteArray("STOR") << true << QByteArray("close_notify") << QString();
        for (const bool tls : {false, true})
            QTest::addRow("226 during an upload, TLS %d", tls)
                << QByteArray("STOR") << tls << QByteArray("226 early") << QStringLiteral("ended the transfer early");
        QTest::newRow("226 before the upload") << QByteArray("STOR") << false << QByteArray("226 at once")
                                               << QStringLiteral("ended the transfer early");
    }

    void dataConnectionEnds()
    {
        QFETCH(QByteArray, verb);
        QFETCH(bool, tls);
        QFETCH(QByteArray, ending);
        QFETCH(QString, error);
        const QByteArray file(600'000, 'x');
        std::atomic<bool> replied{ending == "226 at once"};
        const QByteArray first = replied ? "226 done" : ending == "no close_notify" ? "150 go (600000 bytes)" : "150 go";
        RawServer server([&, verb, tls, ending, first](RawServer::Connection& connection) {
            if (!RawServer::greetAndLogin(connection, tls) || !connection.offerExtendedPassive() || !connection.expect(verb)
                || !connection.send(first + "\r\n"))
                return;
            const int data = connection.acceptData();
            const bool secured = ending != "no handshake" && (!tls || connection.startTls(data));
            if (secured && verb == "STOR") {
                connection.receiveData(data, ending == "226 early" ? 1 : -1);
                replied = ending == "226 early" && connection.send("226 done\r\n");
                connection.receiveData(data);
            } else if (secured) {
                connection.send(file.left(ending == "cut" ? 311'296 : file.size()), data);
            }
            if (ending == "226 first" || ending == "no handshake") {
                replied = connection.send("226 done\r\n");
                std::this_thread::sleep_for(std::chrono::milliseconds(100)); // read before the data connection ends
            }
            connection.closeData(data, ending != "cut" && ending != "no close_notify");
            if (!replied)
                connection.send("226 done\r\n");
            connection.readUntilGone();
        });
        FtpSession session;
        session.setPeerIdentityQuestion([](const PeerIdentity&) { return TrustDecision::Once; });
        ConnectionSettings values = settings(server);
        values.ftp.encryption = tls ? FtpSettings::Encryption::Required : FtpSettings::Encryption::Plain;
        QVERIFY(session.openConnection(values));
        if (verb == "RETR") {
            QCOMPARE(session.get(m_target, QStringLiteral("f")), error.isEmpty());
            if (error.isEmpty())
                QCOMPARE(readFile(m_target), file);
            else
                checkOldFileUntouched();
        } else if (verb == "LIST") {
            QVERIFY(!session.list()); // not an empty folder either
        } else {
            // The second half goes once the server has replied: in the middle of the upload. Without a
            // data connection, the file is empty: nothing to send, and still not a success.
            const QByteArray half(ending == "no handshake" ? 0 : FtpUploadStream::blockSize, 'u');
            const auto upload = session.openForUpload(QStringLiteral("f"), TransferFlag::Binary);
            const bool sent = upload && upload->write(half.constData(), half.size())
                && (ending != "226 early" || QTest::qWaitFor([&replied] { return replied.load(); }, jobTimeout))
                && upload->write(half.constData(), half.size()) && upload->close();
            QCOMPARE(sent, error.isEmpty());
        }
        QVERIFY2(session.lastError().contains(error), qPrintable(session.lastError()));
    }

private:
    void checkOldFileUntouched()
    {
        QCOMPARE(readFile(m_target), QByteArray("the old file"));
        // No temporary file stays behind either.
        QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("target.bin")});
    }

    std::unique_ptr<QTemporaryDir> m_local;
    QString m_target;
};

QTEST_GUILESS_MAIN(HostileServersTest)
#include "tst_hostileservers.moc"
