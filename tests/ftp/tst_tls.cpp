#include "ConnectionJobs.h"
#include "FtpSession.h"
#include "InlineJobRunner.h"
#include "TestHelpers.h"
#include "TrustStore.h"
#include "VsftpdFixture.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <thread>

namespace {

using Encryption = FtpSettings::Encryption;

// The connection commands as the session thread runs them, here on the test's thread: history
// lines and the no-connection message are recorded, certificate answers come from a queue (Cancel
// when empty), and the commands sent so far are taken at each question: nothing of the login may
// go out before the answer.
struct Harness {
    Harness(const VsftpdFixture& first, Encryption encryption)
    {
        use(first, encryption);
        QObject::connect(&runner, &JobRunner::historyLine, recorderOf(lines));
        runner.setMessageHandler([this](const MessageRequest&) {
            ++messages;
            return PromptAnswer::Ok;
        });
        session.setTranscript([this](const QString& line) {
            if (line.startsWith(QLatin1String("> ")))
                commands.append(line);
        });
        session.setPeerIdentityQuestion([this](const PeerIdentity& identity) {
            questions.append(identity.certificate() ? *identity.certificate() : CertificateInfo{});
            commandsAtQuestion = commands;
            return answers.isEmpty() ? TrustDecision::Cancel : answers.takeFirst();
        });
    }
    void use(const VsftpdFixture& other, Encryption encryption)
    {
        settings = {.host = other.host(), .port = other.portText(), .user = QStringLiteral("anonymous"),
                    .password = {}, .ftp = {true, encryption}};
    }
    bool run(bool reconnection)
    {
        const std::atomic<bool> cancelled{false};
        JobContext context(runner, session, cancelled);
        const bool done = reconnection ? ConnectionJobs::reconnect(context, settings)
                                       : ConnectionJobs::connect(context, settings, ConnectVariant::Menu);
        QCoreApplication::sendPostedEvents(); // the history lines
        return done;
    }
    bool connect() { return run(false); }
    bool reconnect() { return run(true); }

    FtpSession session;
    InlineJobRunner runner{session};
    ConnectionSettings settings;
    QStringList lines;
    QStringList commands;
    int messages = 0;
    QList<CertificateInfo> questions;
    QList<TrustDecision> answers;
    QStringList commandsAtQuestion;
};

} // namespace

// The encryption choice and the certificate question against a real vsftpd that demands TLS for
// login and data and the session's reuse on every data connection; its certificate is
// self-signed. Transfers over TLS run in the session walk; the question as the user sees it, in
// the connection tests.
class TlsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        useCatalogue("english");
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QFile::remove(TrustStore().path());
    }

    void connectReportsTheEncryption_data()
    {
        QTest::addColumn<bool>("serverTls");
        QTest::addColumn<Encryption>("encryption");
        QTest::addColumn<bool>("connected"); // and so the password sent
        QTest::addColumn<QString>("colours");
        QTest::addColumn<QString>("last"); // how the last line starts
        QTest::newRow("if available, TLS server") << true << Encryption::IfAvailable << true << "black green green"
                                                  << historyKey("green", "TLS_ENCRYPTED");
        QTest::newRow("if available, plain server") << false << Encryption::IfAvailable << true << "black green blue"
                                                    << historyKey("blue", "TLS_PLAIN");
        QTest::newRow("required, plain server") << false << Encryption::Required << false << "black red"
                                                << historyKey("red", "TLS_NOTOFFERED");
        // This server refuses logins without TLS: an ordinary failed connect, without lines.
        QTest::newRow("plain only, TLS server") << true << Encryption::Plain << false << "" << QString();
    }

    void connectReportsTheEncryption()
    {
        QFETCH(bool, serverTls);
        QFETCH(Encryption, encryption);
        QFETCH(bool, connected);
        QFETCH(QString, colours);
        QFETCH(QString, last);
        VsftpdFixture server({.tls = serverTls});
        QVERIFY2(server.start(m_root->path()), qPrintable(server.errorText()));
        Harness harness(server, encryption);
        harness.answers = {TrustDecision::Once};

        QCOMPARE(harness.connect(), connected);
        QStringList seen;
        for (const QString& line : std::as_const(harness.lines))
            seen.append(line.section(QLatin1Char('\t'), 0, 0));
        QCOMPARE(seen.join(QLatin1Char(' ')), colours);
        QVERIFY2(harness.lines.value(seen.size() - 1).startsWith(last),
                 qPrintable(harness.lines.join(QLatin1Char('\n'))));
        if (serverTls && connected)
            QVERIFY(harness.lines.last().contains(QLatin1String(" TLSv1.")));
        QCOMPARE(harness.commands.filter(QStringLiteral("> PASS")).isEmpty(), !connected);
        QCOMPARE(harness.commands.contains(QStringLiteral("> AUTH TLS")), encryption != Encryption::Plain);
        QCOMPARE(server.serverLog().contains(QLatin1String("\"PASS ")), connected);
        if (connected)
            QVERIFY(harness.session.list().has_value());
    }

    // One host and port through the certificate's life: asked about once per connect until trusted
    // always, then a changed certificate, then a server without TLS. Commands re-connect on their
    // own: they ask only about a changed certificate, and never settle for less than the connect.
    void certificateQuestionAndTrust()
    {
        auto first = std::make_unique<VsftpdFixture>();
        QVERIFY2(first->start(m_root->path()), qPrintable(first->errorText()));
        const quint16 port = first->port();
        const QByteArray firstSha256 = first->certificateSha256();
        Harness harness(*first, Encryption::IfAvailable);
        harness.answers = {TrustDecision::Once, TrustDecision::Always};
        QVERIFY(harness.connect());
        QCOMPARE(harness.questions.size(), 1);
        const CertificateInfo& info = harness.questions.first();
        QCOMPARE((QStringList{info.host, QString::number(info.port), QString::fromLatin1(info.sha256.toHex()),
                              info.subject, info.issuer}),
                 (QStringList{first->host(), first->portText(), QString::fromLatin1(firstSha256.toHex()),
                              QStringLiteral("CN=localhost"), QStringLiteral("CN=localhost")}));
        QVERIFY(info.validFrom <= QDateTime::currentDateTimeUtc() && QDateTime::currentDateTimeUtc() < info.validUntil);
        QVERIFY(info.problems.contains(CertificateProblem::SelfSigned));
        QVERIFY(info.problems.contains(CertificateProblem::HostNameMismatch)); // made out for localhost, not 127.0.0.1
        QVERIFY(!info.reasons.isEmpty() && !info.changed);
        QCOMPARE(harness.commandsAtQuestion, QStringList{QStringLiteral("> AUTH TLS")});
        QVERIFY(!QFile::exists(TrustStore().path()));

        // "This time" is over with the next connect; "always" is stored, for the user's eyes only.
        QVERIFY(harness.connect());
        QVERIFY(harness.connect());
        QCOMPARE(harness.questions.size(), 2);
        const QString store = TrustStore().path();
        const auto othersAndGroup = ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(QFile::permissions(store) & othersAndGroup, QFile::Permissions());
        QCOMPARE(readFile(store), "127.0.0.1 " + first->portText().toLatin1() + ' ' + firstSha256.toHex() + '\n');
        // Another certificate on the same host and port: a new one, or someone in between.
        QTemporaryDir certificates;
        QString error;
        const QString other = certificates.filePath(QStringLiteral("other.pem"));
        QVERIFY2(VsftpdFixture::makeCertificate(other, QStringLiteral("localhost"), error), qPrintable(error));
        first.reset();
        VsftpdFixture second({.certificate = other, .port = port});
        QVERIFY2(second.start(m_root->path()), qPrintable(second.errorText()));
        // A re-connection puts it to the warning question as a connect does (no "no connection"
        // message); trusted there, it holds for that connect's later re-connections.
        harness.use(second, Encryption::IfAvailable);
        harness.answers = {TrustDecision::Cancel, TrustDecision::Once, TrustDecision::Cancel, TrustDecision::Always};
        for (const bool reconnection : {true, false}) {
            QVERIFY(!harness.run(reconnection));
            QVERIFY(harness.questions.last().changed);
            QCOMPARE(harness.questions.last().storedSha256, firstSha256);
            QCOMPARE(harness.questions.last().sha256, second.certificateSha256());
            QCOMPARE(harness.commandsAtQuestion.last(), QStringLiteral("> AUTH TLS"));
            QCOMPARE(harness.lines.last(), historyKey("red", "TLS_CERTREFUSED"));
            QCOMPARE(harness.messages, 0);
            if (reconnection) {
                QVERIFY(harness.reconnect());
                harness.session.closeConnection();
                QVERIFY(harness.reconnect());
            }
        }
        QCOMPARE(harness.questions.size(), 5);
        QCOMPARE(harness.commands.filter(QStringLiteral("> USER")).size(), 5);
        QCOMPARE(TrustStore().find(second.host(), port), firstSha256);
        QVERIFY(harness.connect());
        QCOMPARE(harness.questions.size(), 6);
        QCOMPARE(TrustStore().find(second.host(), port), second.certificateSha256());

        second.stop();
        VsftpdFixture plain({.tls = false, .port = port});
        QVERIFY2(plain.start(m_root->path()), qPrintable(plain.errorText()));
        QVERIFY(!harness.reconnect());
        QVERIFY(plain.serverLog().contains(QLatin1String("\"AUTH TLS\"")));
        QVERIFY(!plain.serverLog().contains(QLatin1String("\"PASS ")));
    }

    // Two program instances that trust certificates at the same time: neither loses the other's.
    void trustStoreKeepsEveryWritersEntries()
    {
        const QString path = m_root->filePath(QStringLiteral("trusted-certificates"));
        constexpr int perWriter = 20;
        const auto write = [&path](char writer) {
            const TrustStore store(path); // an instance of its own, as another process has
            QString error;
            for (int i = 0; i < perWriter; ++i)
                store.store(QStringLiteral("host%1").arg(i), quint16(writer), QByteArray(32, writer), error);
        };
        std::thread other(write, 'b');
        write('a');
        other.join();
        const TrustStore store(path);
        for (int i = 0; i < perWriter; ++i) {
            QCOMPARE(store.find(QStringLiteral("host%1").arg(i), quint16('a')), QByteArray(32, 'a'));
            QCOMPARE(store.find(QStringLiteral("host%1").arg(i), quint16('b')), QByteArray(32, 'b'));
        }
    }

private:
    std::unique_ptr<QTemporaryDir> m_root;
};

QTEST_GUILESS_MAIN(TlsTest)
#include "tst_tls.moc"
