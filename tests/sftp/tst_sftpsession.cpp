// The SFTP session through the operation table, as the commands use it: the connect with its
// host-key question and log-in, and the jobs end to end, against a real OpenSSH sshd.
#include "ConnectionJobs.h"
#include "DownloadJob.h"
#include "RemoteCommandKeys.h"
#include "RemoteDeleteJob.h"
#include "RemoteFileJobs.h"
#include "RemoteFolderJobs.h"
#include "SessionMaker.h"
#include "SessionRunner.h"
#include "SftpSession.h"
#include "SshdFixture.h"
#include "TestHelpers.h"
#include "UploadJob.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(TrustDecision)

class SftpSessionTest : public QObject
{
    Q_OBJECT

    SshdFixture m_server;
    QTemporaryDir m_client; // stands in for ~/.ssh
    QStringList m_lines;
    QList<HostKeyInfo> m_asked;
    QList<InputRequest> m_inputs;

    ConnectionSettings settings(const QString& password = QStringLiteral("wrong")) const
    {
        return {Protocol::Sftp, m_server.host(), QString::number(m_server.port()), SshdFixture::userName(), password, {}};
    }

    // A session thread whose sessions look into m_client for keys and known_hosts.
    std::unique_ptr<SessionRunner> runner(TrustDecision answer = TrustDecision::Cancel, QString passphrase = {})
    {
        auto made = std::make_unique<SessionRunner>([folder = m_client.path()](Protocol protocol) -> std::unique_ptr<RemoteOperations> {
            if (protocol == Protocol::Ftp)
                return makeSession(protocol);
            auto session = std::make_unique<SftpSession>(folder);
            session->setUseAgent(false);
            return session;
        });
        recordHistory(*made, m_lines, made.get());
        made->setPeerIdentityHandler([this, answer](const PeerIdentity& identity) {
            m_asked.append(*identity.hostKey());
            return answer;
        });
        made->setInputHandler([this, passphrase](const InputRequest& request) {
            m_inputs.append(request);
            return InputAnswer{true, passphrase};
        });
        made->setMessageHandler([](const MessageRequest&) { return PromptAnswer::Ok; });
        return made;
    }

    // "green SSH_LOGIN_KEYFILE" as the line the history shows.
    QStringList linesOf(const QStringList& tokens) const
    {
        const QString host = m_server.host();
        const QString key = QStringLiteral("ssh-ed25519 ") + m_server.hostKeyFingerprint();
        QStringList lines;
        for (const QString& token : tokens) {
            const QString colour = token.section(QLatin1Char(' '), 0, 0);
            const QByteArray name = token.section(QLatin1Char(' '), 1, 1).toLatin1();
            QString after = token.section(QLatin1Char(' '), 2);
            if (name == "CONNECT_WITH")
                after = host + QStringLiteral(" ...");
            else if (name == "CONNECTION_TO")
                after = host + QLatin1Char(' ') + getText("ESTABLSHED");
            else if (name.startsWith("SSH_HOSTKEY"))
                after = key;
            else if (name == "SSH_LOGIN_KEYFILE")
                after = m_client.filePath(QStringLiteral("id_ed25519"));
            lines.append(historyKey(colour.toLatin1().constData(), name.constData(), after));
        }
        return lines;
    }

    bool writeKnownHosts(const QString& which)
    {
        QFile other(m_client.filePath(QStringLiteral("id_ed25519.pub")));
        const QString key = which == QLatin1String("served") ? m_server.hostKeyText()
                          : other.open(QIODevice::ReadOnly)  ? QString::fromLatin1(other.readAll().simplified().split(' ').mid(0, 2).join(' '))
                                                             : QString();
        QFile::remove(m_client.filePath(QStringLiteral("known_hosts")));
        return which.isEmpty() || writeFile(m_client.filePath(QStringLiteral("known_hosts")),
                                            QStringLiteral("[%1]:%2 %3\n").arg(m_server.host()).arg(m_server.port()).arg(key).toUtf8());
    }

private Q_SLOTS:
    void initTestCase()
    {
        useCatalogue("deutsch");
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
    }

    void init()
    {
        m_lines.clear();
        m_asked.clear();
        m_inputs.clear();
        for (const char* name : {"/id_ed25519", "/id_ed25519.pub"}) {
            QFile::remove(m_client.path() + QLatin1String(name));
            QVERIFY(QFile::copy(m_server.clientFolder() + QLatin1String(name), m_client.path() + QLatin1String(name)));
        }
        QVERIFY(writeKnownHosts(QStringLiteral("served")));
    }

    void hostKey_data()
    {
        QTest::addColumn<QString>("knownHosts"); // the key known_hosts holds: "served", "other" or none
        QTest::addColumn<TrustDecision>("answer");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("known") << "served" << TrustDecision::Cancel
                               << strings({"black CONNECT_WITH", "green CONNECTION_TO", "green SSH_LOGIN_KEYFILE"});
        QTest::newRow("unknown, cancel") << "" << TrustDecision::Cancel << strings({"black CONNECT_WITH", "red SSH_HOSTKEY_REFUSED"});
        QTest::newRow("unknown, this time") << "" << TrustDecision::Once
                                            << strings({"black CONNECT_WITH", "green CONNECTION_TO", "blue SSH_HOSTKEY_ONCE", "green SSH_LOGIN_KEYFILE"});
        QTest::newRow("unknown, always") << "" << TrustDecision::Always
                                         << strings({"black CONNECT_WITH", "green CONNECTION_TO", "green SSH_HOSTKEY_ALWAYS", "green SSH_LOGIN_KEYFILE"});
        QTest::newRow("changed, cancel") << "other" << TrustDecision::Cancel << strings({"black CONNECT_WITH", "red SSH_HOSTKEY_CHANGED"});
    }

    // The question comes once per connect, before anything of the log-in goes out; the
    // re-connections of the commands reuse its answer and never ask.
    void hostKey()
    {
        QFETCH(QString, knownHosts);
        QFETCH(TrustDecision, answer);
        QVERIFY(writeKnownHosts(knownHosts));
        const qsizetype logBefore = m_server.log().size();
        auto jobs = runner(answer);
        bool connected = false;
        bool reconnected = false;
        QString folder;
        QVERIFY(runJob(*jobs, [&](JobContext& context) {
            connected = ConnectionJobs::connect(context, settings(), ConnectVariant::Menu);
            folder = context.session().currentDir();
            context.session().closeConnection();
            reconnected = ConnectionJobs::reconnect(context, settings());
        }));
        // A refused re-connection says so again, without a question.
        QStringList lines = linesOf(testData<QStringList>("lines"));
        if (!connected)
            lines.append(lines.last());
        QCOMPARE(m_lines, lines);
        QCOMPARE(reconnected, connected);
        QCOMPARE(m_asked.size(), knownHosts == QLatin1String("served") ? 0 : 1);
        if (!m_asked.isEmpty()) {
            QCOMPARE(m_asked[0].fingerprint, m_server.hostKeyFingerprint());
            QCOMPARE(m_asked[0].changed, !knownHosts.isEmpty());
            QCOMPARE(m_asked[0].storedFingerprint.isEmpty(), knownHosts.isEmpty());
        }
        if (!connected) {
            const QRegularExpression logIn(QStringLiteral("Accepted|Postponed|Failed|[Ii]nvalid user|for %1 ").arg(SshdFixture::userName()));
            QVERIFY2(!m_server.log().mid(logBefore).contains(logIn), qPrintable(m_server.log().mid(logBefore)));
            return;
        }
        QCOMPARE(folder, QDir(m_server.rootPath()).canonicalPath()); // the log-in folder, not "/"
        QCOMPARE(readFile(m_client.filePath(QStringLiteral("known_hosts"))).count('\n'), answer == TrustDecision::Always ? 1 : int(!knownHosts.isEmpty()));
    }

    void logIn_data()
    {
        QTest::addColumn<QString>("key"); // the default key file: "plain", "passphrase" (asked), or none
        QTest::addColumn<bool>("passwordUser");
        QTest::addColumn<QString>("line");
        QTest::newRow("key file") << "plain" << false << "green SSH_LOGIN_KEYFILE";
        QTest::newRow("key file with passphrase") << "passphrase" << false << "green SSH_LOGIN_KEYFILE";
        QTest::newRow("password") << "" << true << "green SSH_LOGIN_PASSWORD";
        QTest::newRow("nothing works") << "" << false << "red SSH_LOGINFAILED publickey, password";
    }

    void logIn()
    {
        QFETCH(QString, key);
        const QString keyFile = m_client.filePath(QStringLiteral("id_ed25519"));
        if (key != QLatin1String("plain")) {
            QVERIFY(m_server.makeKey(keyFile, key));
            if (!key.isEmpty())
                QVERIFY(m_server.authorize(keyFile + QStringLiteral(".pub")));
        }
        ConnectionSettings values = settings();
        if (testData<bool>("passwordUser")) {
            values.user = SshdFixture::passwordUser(QStringLiteral("pass word"));
            if (values.user.isEmpty())
                QSKIP("password log-in needs a system user, which only root can make");
            values.password = QStringLiteral("pass word");
        }
        auto jobs = runner(TrustDecision::Cancel, key);
        QVERIFY(runJob(*jobs, [&](JobContext& context) { ConnectionJobs::connect(context, values, ConnectVariant::Menu); }));
        QCOMPARE(m_lines.last(), linesOf({testData<QString>("line")}).last());
        QCOMPARE(m_inputs.size(), int(key == QLatin1String("passphrase")));
        if (!m_inputs.isEmpty())
            QVERIFY(m_inputs[0].masked && m_inputs[0].prompt.contains(keyFile));
    }

    // The commands' jobs end to end: a listing with a link, blanks and UTF-8 names; a tree down and
    // up byte for byte (0 bytes, several MiB, and text sent as ASCII unchanged); new folder, rename,
    // and the recursive delete, which removes a link as a link.
    void jobs()
    {
        const QString root = QDir(m_server.rootPath()).canonicalPath();
        QByteArray big(5 * 1024 * 1024 + 7, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(big.data()), big.size() / 4);
        QVERIFY(writeFile(root + QStringLiteral("/tree/ a b /Grüße.txt"), "line\n"));
        QVERIFY(writeFile(root + QStringLiteral("/tree/ a b /leer.bin")));
        QVERIFY(writeFile(root + QStringLiteral("/tree/groß.bin"), big));
        QVERIFY(QFile::link(QStringLiteral(" a b "), root + QStringLiteral("/tree/zu a b")));
        const QList<QByteArray> contents{"line\n", "", big};
        QTemporaryDir local;
        const QString target = local.path() + QLatin1Char('/');
        const QString mirror = target + root.mid(1) + QLatin1Char('/'); // the download rebuilds the server path
        auto jobs = runner(TrustDecision::Cancel, QStringLiteral("neu"));
        RemoteFolderRead read;
        DownloadResult down;
        UploadResult up;
        bool made = false;
        bool renamed = false;
        RemoteDeleteResult deleted;
        QVERIFY(runJob(*jobs, [&](JobContext& context) {
            ConnectionJobs::connect(context, settings(), ConnectVariant::Menu);
            read = RemoteFolderJobs::changeAndRead(context.session(), root, QStringLiteral("tree"));
            down = DownloadJob(context, {{{QStringLiteral("tree"), true}}, root, target, settings()}).downloadSelection();
            made = RemoteFileJobs::createFolder(context, root, RemoteKeys::menu, nullptr);
            const UploadType ascii{TransferType::Ascii, TransferFlag::Ascii, {}};
            up = UploadJob(context, {mirror, {{QStringLiteral("tree"), true}}, root + QStringLiteral("/neu"), settings(), ascii}).uploadSelection();
            renamed = RemoteFileJobs::renameEntry(context, root + QStringLiteral("/neu"), QStringLiteral("tree"));
        }));
        QCOMPARE(QList<QByteArray>({readFile(root + QStringLiteral("/neu/neu/ a b /Grüße.txt")), readFile(root + QStringLiteral("/neu/neu/ a b /leer.bin")),
                                    readFile(root + QStringLiteral("/neu/neu/groß.bin"))}), contents);
        QVERIFY(QFile::link(root + QStringLiteral("/tree"), root + QStringLiteral("/neu/neu/zum Baum")));
        QVERIFY(runJob(*jobs, [&](JobContext& context) {
            deleted = RemoteDeleteJob(context, {{{QStringLiteral("neu"), true, false}}, root, settings(), {}}).deleteSelection();
        }));
        QCOMPARE(read.currentDir, root + QStringLiteral("/tree"));
        QVERIFY(read.entries);
        auto entries = *read.entries;
        std::sort(entries.begin(), entries.end(), [](const RemoteEntry& a, const RemoteEntry& b) { return a.name < b.name; });
        QCOMPARE(namesOf(entries), strings({" a b ", "groß.bin", "zu a b"}));
        QVERIFY(entries[0].isDirectory && !entries[0].isLink && !entries[1].isDirectory && entries[1].size == big.size());
        QVERIFY(entries[2].isDirectory && entries[2].isLink && entries[2].linkTarget == QLatin1String(" a b "));
        // The link is not followed: its folder is refused.
        QVERIFY(down.filesFetched == 3 && down.filesFailed == 0 && down.foldersFailed == 1);
        QCOMPARE(QList<QByteArray>({readFile(mirror + QStringLiteral("tree/ a b /Grüße.txt")), readFile(mirror + QStringLiteral("tree/ a b /leer.bin")),
                                    readFile(mirror + QStringLiteral("tree/groß.bin"))}), contents);
        QVERIFY(made && renamed && up.filesUploaded == 3 && up.filesFailed == 0);
        QVERIFY(deleted.deleted == 7 && deleted.failed == 0 && !QFileInfo::exists(root + QStringLiteral("/neu")));
        QCOMPARE(readFile(root + QStringLiteral("/tree/ a b /Grüße.txt")), QByteArray("line\n"));
        QVERIFY2(m_lines.filter(QStringLiteral("red\t")) == linesOf({QStringLiteral("red MDOWN_DOWNFAILED")}), qPrintable(m_lines.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(SftpSessionTest)
#include "tst_sftpsession.moc"
