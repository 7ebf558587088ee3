#include "ConnectionJobs.h"
#include "FtpSession.h"
#include "JobContext.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"
#include "TrustStore.h"
#include "VsftpdFixture.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <mutex>

namespace {

using Encryption = ConnectionSettings::Encryption;
using Line = QPair<QString, HistoryColour>;

constexpr int jobTimeoutMilliseconds = 60'000;

// The session thread with its GUI side as the program has it: history lines, the certificate
// question and message boxes arrive here and are recorded; certificate answers come from a queue
// (Cancel when empty). The server log is taken at each question: nothing may reach the server
// before the answer.
struct Harness {
    explicit Harness(const VsftpdFixture* server = nullptr)
    {
        QObject::connect(&runner, &SessionRunner::historyLine,
                         [this](const QString& text, HistoryColour colour) { lines.append({text, colour}); });
        runner.setMessageHandler([this](const MessageRequest& request) {
            messages.append(request.text);
            return PromptAnswer::Ok;
        });
        runner.setCertificateHandler([this, server](const CertificateInfo& info) {
            questions.append(info);
            logAtQuestion = server ? server->serverLog() : QString();
            return answers.isEmpty() ? TrustDecision::Cancel : answers.takeFirst();
        });
    }

    bool run(std::function<bool(JobContext&)> job)
    {
        // Shared: a job that outlives a failed wait still has somewhere to put its result.
        auto result = std::make_shared<std::optional<bool>>();
        auto log = transcript;
        runner.start<bool>(
            [job = std::move(job), log](JobContext& context) {
                context.session().setTranscript([log](const QString& line) {
                    std::lock_guard lock(log->mutex);
                    log->lines.append(line);
                });
                return job(context);
            },
            [result](bool done) { *result = done; });
        if (!QTest::qWaitFor([result] { return result->has_value(); }, jobTimeoutMilliseconds))
            return false;
        return **result;
    }
    bool connect(const ConnectionSettings& settings)
    {
        return run([settings](JobContext& context) { return ConnectionJobs::connect(context, settings, ConnectVariant::Menu); });
    }
    bool reconnect(const ConnectionSettings& settings)
    {
        return run([settings](JobContext& context) { return ConnectionJobs::reconnect(context, settings); });
    }
    QStringList commands()
    {
        std::lock_guard lock(transcript->mutex);
        return transcript->lines.filter(QRegularExpression(QStringLiteral("^> ")));
    }

    struct Transcript {
        std::mutex mutex;
        QStringList lines;
    };
    SessionRunner runner;
    std::shared_ptr<Transcript> transcript = std::make_shared<Transcript>();
    QList<Line> lines;
    QStringList messages;
    QList<CertificateInfo> questions;
    QList<TrustDecision> answers;
    QString logAtQuestion;
};

ConnectionSettings settingsFor(const VsftpdFixture& server, Encryption encryption, bool passive = true)
{
    ConnectionSettings settings{server.host(), server.portText(), QStringLiteral("anonymous"), QString(), passive};
    settings.encryption = encryption;
    return settings;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

// Explicit FTP over TLS against a real vsftpd that demands TLS for login and data and the
// session's reuse on every data connection; its certificate is self-signed.
class TlsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void transfersAreEncrypted_data();
    void transfersAreEncrypted();
    void connectReportsTheEncryption_data();
    void connectReportsTheEncryption();
    void untrustedCertificateIsAskedAbout_data();
    void untrustedCertificateIsAskedAbout();
    void changedCertificateIsAskedAboutAgain();
    void reconnectionKeepsTheConnectDecision();

private:
    QString rootPath(const QString& name) const { return m_root->filePath(name); }
    QString localPath(const QString& name) const { return m_local->filePath(name); }

    QByteArray m_payload;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_local;
};

void TlsTest::initTestCase()
{
    TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
    TextCatalogue::instance().setChosenTable(QStringLiteral("english"));
    // Several TLS records and several of the transport's slices, with a ragged end.
    m_payload.resize(3 * 1024 * 1024 + 4321);
    QRandomGenerator generator(1704);
    for (char& byte : m_payload)
        byte = static_cast<char>(generator.bounded(256));
}

void TlsTest::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    m_local = std::make_unique<QTemporaryDir>();
    QFile::remove(TrustStore().path());
}

void TlsTest::transfersAreEncrypted_data()
{
    QTest::addColumn<bool>("passive");
    QTest::newRow("passive") << true;
    QTest::newRow("active") << false;
}

void TlsTest::transfersAreEncrypted()
{
    QFETCH(bool, passive);
    VsftpdFixture server;
    QVERIFY2(server.start(m_root->path()), qPrintable(server.errorText()));
    QVERIFY(writeFile(rootPath(QStringLiteral("down.bin")), m_payload));

    FtpSession session;
    QStringList transcript;
    session.setTranscript([&transcript](const QString& line) { transcript.append(line); });
    session.setCertificateQuestion([&server](const CertificateInfo& info) {
        return info.sha256 == server.certificateSha256() ? TrustDecision::Once : TrustDecision::Cancel;
    });
    QVERIFY2(session.openConnection(settingsFor(server, Encryption::Required, passive)), qPrintable(session.lastError()));
    QCOMPARE(session.tlsOutcome(), TlsOutcome::Encrypted);
    QVERIFY2(session.tlsVersion() == QLatin1String("TLSv1.3") || session.tlsVersion() == QLatin1String("TLSv1.2"),
             qPrintable(session.tlsVersion()));
    QVERIFY(transcript.contains(QStringLiteral("> PBSZ 0")) && transcript.contains(QStringLiteral("> PROT P")));
    QVERIFY(transcript.indexOf(QStringLiteral("> AUTH TLS")) < transcript.indexOf(QStringLiteral("> USER anonymous")));

    auto upload = session.ftpOpenForUpload(QStringLiteral("up.bin"), TransferFlag::Binary);
    QVERIFY2(upload, qPrintable(session.lastError()));
    for (qsizetype at = 0; at < m_payload.size(); at += 100'000)
        QVERIFY(upload->write(m_payload.constData() + at, qMin<qsizetype>(100'000, m_payload.size() - at)));
    QVERIFY2(upload->close(), qPrintable(session.lastError()));
    upload.reset();
    QVERIFY(readFile(rootPath(QStringLiteral("up.bin"))) == m_payload);

    QVERIFY2(session.ftpGet(localPath(QStringLiteral("down.bin")), QStringLiteral("down.bin")), qPrintable(session.lastError()));
    QVERIFY(readFile(localPath(QStringLiteral("down.bin"))) == m_payload);

    const auto entries = session.ftpList();
    QVERIFY2(entries, qPrintable(session.lastError()));
    QStringList names;
    for (const RemoteEntry& entry : *entries) {
        names.append(entry.name);
        QCOMPARE(entry.size, m_payload.size());
    }
    names.sort();
    QCOMPARE(names, (QStringList{QStringLiteral("down.bin"), QStringLiteral("up.bin")}));
    // The server demands the reuse; it also logs it, once per data connection.
    QCOMPARE(server.serverLog().count(QLatin1String(", reused,")), 3);
}

void TlsTest::connectReportsTheEncryption_data()
{
    QTest::addColumn<bool>("serverTls");
    QTest::addColumn<Encryption>("encryption");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("passwordSent");
    QTest::addColumn<QList<HistoryColour>>("colours");
    QTest::addColumn<QString>("lastKey");
    using C = HistoryColour;
    QTest::newRow("required, TLS server") << true << Encryption::Required << true << true
                                          << QList<C>{C::Black, C::Green, C::Green} << "TLS_ENCRYPTED";
    QTest::newRow("if available, TLS server") << true << Encryption::IfAvailable << true << true
                                              << QList<C>{C::Black, C::Green, C::Green} << "TLS_ENCRYPTED";
    QTest::newRow("if available, plain server") << false << Encryption::IfAvailable << true << true
                                                << QList<C>{C::Black, C::Green, C::Blue} << "TLS_PLAIN";
    QTest::newRow("required, plain server") << false << Encryption::Required << false << false
                                            << QList<C>{C::Black, C::Red} << "TLS_NOTOFFERED";
    // This server refuses logins without TLS: an ordinary failed connect, without lines.
    QTest::newRow("plain only, TLS server") << true << Encryption::Plain << false << false << QList<C>{} << "";
}

void TlsTest::connectReportsTheEncryption()
{
    QFETCH(bool, serverTls);
    QFETCH(Encryption, encryption);
    QFETCH(bool, connected);
    QFETCH(bool, passwordSent);
    QFETCH(QList<HistoryColour>, colours);
    QFETCH(QString, lastKey);
    VsftpdFixture server({.tls = serverTls});
    QVERIFY2(server.start(m_root->path()), qPrintable(server.errorText()));
    Harness harness(&server);
    harness.answers = {TrustDecision::Once};

    QCOMPARE(harness.connect(settingsFor(server, encryption)), connected);
    QList<HistoryColour> seen;
    for (const Line& line : std::as_const(harness.lines))
        seen.append(line.second);
    QCOMPARE(seen, colours);
    if (!lastKey.isEmpty())
        QVERIFY2(harness.lines.last().first.startsWith(getText(lastKey)), qPrintable(harness.lines.last().first));
    if (lastKey == QLatin1String("TLS_ENCRYPTED"))
        QVERIFY(harness.lines.last().first.contains(QLatin1String(" TLSv1.")));
    const QStringList commands = harness.commands();
    QCOMPARE(commands.filter(QStringLiteral("> PASS")).isEmpty(), !passwordSent);
    QCOMPARE(commands.contains(QStringLiteral("> AUTH TLS")), encryption != Encryption::Plain);
    QCOMPARE(server.serverLog().contains(QLatin1String("\"PASS ")), passwordSent);
    if (connected) {
        const bool listed = harness.run([](JobContext& context) { return context.session().ftpList().has_value(); });
        QVERIFY(listed);
    }
}

void TlsTest::untrustedCertificateIsAskedAbout_data()
{
    QTest::addColumn<TrustDecision>("answer");
    QTest::newRow("cancel") << TrustDecision::Cancel;
    QTest::newRow("trust this time") << TrustDecision::Once;
    QTest::newRow("trust always") << TrustDecision::Always;
}

void TlsTest::untrustedCertificateIsAskedAbout()
{
    QFETCH(TrustDecision, answer);
    VsftpdFixture server;
    QVERIFY2(server.start(m_root->path()), qPrintable(server.errorText()));
    Harness harness(&server);
    harness.answers = {answer};
    const ConnectionSettings settings = settingsFor(server, Encryption::Required);
    const bool cancelled = answer == TrustDecision::Cancel;

    QCOMPARE(harness.connect(settings), !cancelled);
    QCOMPARE(harness.questions.size(), 1);
    const CertificateInfo& info = harness.questions.first();
    QCOMPARE(info.host, server.host());
    QCOMPARE(info.port, server.port());
    QCOMPARE(info.sha256, server.certificateSha256());
    QCOMPARE(info.fingerprint().size(), 32 * 3 - 1);
    QCOMPARE(info.subject, QStringLiteral("CN=localhost"));
    QCOMPARE(info.issuer, QStringLiteral("CN=localhost"));
    QVERIFY(info.validFrom <= QDateTime::currentDateTimeUtc() && QDateTime::currentDateTimeUtc() < info.validUntil);
    QVERIFY(info.problems.contains(CertificateProblem::SelfSigned));
    QVERIFY(info.problems.contains(CertificateProblem::HostNameMismatch)); // made out for localhost, not 127.0.0.1
    QVERIFY(!info.reasons.isEmpty());
    QVERIFY(!info.changed);
    // Nothing of the login went out before the answer.
    QVERIFY2(!harness.logAtQuestion.contains(QLatin1String("\"USER")), qPrintable(harness.logAtQuestion));
    if (cancelled) {
        QCOMPARE(harness.lines.last(), Line(getText("TLS_CERTREFUSED"), HistoryColour::Red));
        QVERIFY(harness.commands().filter(QStringLiteral("> USER")).isEmpty());
        QVERIFY(!QFile::exists(TrustStore().path()));
        return;
    }

    // A new connect: "this time" is over, "always" is remembered.
    harness.answers = {TrustDecision::Once};
    QVERIFY(harness.connect(settings));
    QCOMPARE(harness.questions.size(), answer == TrustDecision::Always ? 1 : 2);
    QFile store(TrustStore().path());
    QCOMPARE(store.exists(), answer == TrustDecision::Always);
    if (answer == TrustDecision::Always) {
        QCOMPARE(store.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());
        QVERIFY(store.open(QIODevice::ReadOnly));
        QCOMPARE(store.readAll(), "127.0.0.1 " + server.portText().toLatin1() + ' ' + server.certificateSha256().toHex() + '\n');
    }
}

void TlsTest::changedCertificateIsAskedAboutAgain()
{
    VsftpdFixture first;
    QVERIFY2(first.start(m_root->path()), qPrintable(first.errorText()));
    const quint16 port = first.port();
    const QByteArray firstSha256 = first.certificateSha256();
    {
        Harness harness(&first);
        harness.answers = {TrustDecision::Always};
        QVERIFY(harness.connect(settingsFor(first, Encryption::Required)));
    }
    first.stop();

    // The same host and port with another certificate: a new one, or someone in between.
    QTemporaryDir certificates;
    QString error;
    const QString other = certificates.filePath(QStringLiteral("other.pem"));
    QVERIFY2(VsftpdFixture::makeCertificate(other, QStringLiteral("localhost"), error), qPrintable(error));
    VsftpdFixture second({.certificate = other, .port = port});
    QVERIFY2(second.start(m_root->path()), qPrintable(second.errorText()));
    Harness harness(&second);
    harness.answers = {TrustDecision::Cancel, TrustDecision::Always};
    QVERIFY(!harness.connect(settingsFor(second, Encryption::IfAvailable)));
    QCOMPARE(harness.questions.size(), 1);
    QVERIFY(harness.questions[0].changed);
    QCOMPARE(harness.questions[0].storedSha256, firstSha256);
    QCOMPARE(harness.questions[0].sha256, second.certificateSha256());
    QVERIFY(!harness.logAtQuestion.contains(QLatin1String("\"USER")));
    QCOMPARE(harness.lines.last(), Line(getText("TLS_CERTREFUSED"), HistoryColour::Red));
    QCOMPARE(TrustStore().find(second.host(), port), firstSha256);

    QVERIFY(harness.connect(settingsFor(second, Encryption::IfAvailable)));
    QCOMPARE(harness.questions.size(), 2);
    QCOMPARE(TrustStore().find(second.host(), port), second.certificateSha256());
}

// Commands re-connect on their own; they never ask, and never settle for less than the connect.
void TlsTest::reconnectionKeepsTheConnectDecision()
{
    auto server = std::make_unique<VsftpdFixture>();
    QVERIFY2(server->start(m_root->path()), qPrintable(server->errorText()));
    const quint16 port = server->port();
    Harness harness;
    harness.answers = {TrustDecision::Once, TrustDecision::Once, TrustDecision::Once};
    const ConnectionSettings settings = settingsFor(*server, Encryption::IfAvailable);
    QVERIFY(harness.connect(settings));
    QVERIFY(harness.reconnect(settings));
    QCOMPARE(harness.questions.size(), 1);

    // Another certificate in the middle of a command is refused without a question.
    QTemporaryDir certificates;
    QString error;
    const QString other = certificates.filePath(QStringLiteral("other.pem"));
    QVERIFY2(VsftpdFixture::makeCertificate(other, QStringLiteral("localhost"), error), qPrintable(error));
    server = std::make_unique<VsftpdFixture>(VsftpdFixture::Options{.certificate = other, .port = port});
    QVERIFY2(server->start(m_root->path()), qPrintable(server->errorText()));
    QVERIFY(!harness.reconnect(settings));
    QCOMPARE(harness.questions.size(), 1);
    QCOMPARE(harness.messages.size(), 1); // the no-connection message

    // Nor does a re-connection fall back to plain text after an encrypted connect.
    server = std::make_unique<VsftpdFixture>(VsftpdFixture::Options{.tls = false, .port = port});
    QVERIFY2(server->start(m_root->path()), qPrintable(server->errorText()));
    QVERIFY(!harness.reconnect(settings));
    // Only the connect logged in: the first re-connection kept its live connection.
    QCOMPARE(harness.commands().filter(QStringLiteral("> USER")).size(), 1);
    QVERIFY(!server->serverLog().contains(QLatin1String("\"PASS ")));
}

QTEST_GUILESS_MAIN(TlsTest)
#include "tst_tls.moc"
