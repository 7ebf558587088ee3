// The SFTP session through the operation table, as the commands use it, against a real OpenSSH
// sshd: the connect with its host-key question and log-in, and the jobs end to end.
#include "ConnectionJobs.h"
#include "DownloadFile.h"
#include "DownloadJob.h"
#include "QueueFixture.h"
#include "RemoteCommandKeys.h"
#include "RemoteDeleteJob.h"
#include "RemoteFileJobs.h"
#include "RemoteFolderJobs.h"
#include "SessionRunner.h"
#include "SftpSession.h"
#include "SshdFixture.h"
#include "TestHelpers.h"
#include "UploadJob.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

Q_DECLARE_METATYPE(TrustDecision)

class SftpSessionTest : public QObject
{
    Q_OBJECT

    SshdFixture m_server;
    QTemporaryDir m_client; // stands in for ~/.ssh
    QStringList m_lines;
    QList<HostKeyInfo> m_asked;
    QList<InputRequest> m_inputs;

    ConnectionSettings settings() const
    {
        return {Protocol::Sftp, m_server.host(), QString::number(m_server.port()), SshdFixture::userName(),
                QStringLiteral("wrong"), {}};
    }

    // A session thread whose SFTP sessions look into m_client for keys and known_hosts; every
    // question gets answer, every input box text.
    std::unique_ptr<SessionRunner> runner(TrustDecision answer = TrustDecision::Cancel, QString text = {})
    {
        auto made = std::make_unique<SessionRunner>([folder = m_client.path()](Protocol) {
            auto session = std::make_unique<SftpSession>(folder);
            session->setUseAgent(false);
            return std::unique_ptr<RemoteOperations>(std::move(session));
        });
        recordHistory(*made, m_lines, made.get());
        made->setPeerIdentityHandler([this, answer](const PeerIdentity& identity) {
            m_asked.append(*identity.hostKey());
            return answer;
        });
        made->setInputHandler([this, text](const InputRequest& request) {
            m_inputs.append(request);
            return InputAnswer{true, text};
        });
        return made;
    }

    // "green SSH_LOGIN_KEYFILE" as the history shows it.
    QStringList linesOf(const QStringList& tokens) const
    {
        const QHash<QString, QString> after{
            {QStringLiteral("CONNECT_WITH"), QStringLiteral("127.0.0.1 ...")},
            {QStringLiteral("CONNECTION_TO"), QStringLiteral("127.0.0.1 ") + getText("ESTABLSHED")},
            {QStringLiteral("SSH_HOSTKEY"), QStringLiteral("ssh-ed25519 ") + m_server.hostKeyFingerprint()},
            {QStringLiteral("SSH_LOGIN_KEYFILE"), m_client.filePath(QStringLiteral("id_ed25519"))},
            {QStringLiteral("SSH_LOGINFAILED"), QStringLiteral("publickey, password")}};
        QStringList lines;
        for (const QString& token : tokens) {
            const QString key = token.section(QLatin1Char(' '), 1);
            const QString colour = token.section(QLatin1Char(' '), 0, 0);
            lines << historyKey(qPrintable(colour), qPrintable(key), after.value(key.left(11), after.value(key)));
        }
        return lines;
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
        for (const QString& name : {QStringLiteral("/id_ed25519"), QStringLiteral("/id_ed25519.pub")}) {
            QFile::remove(m_client.path() + name);
            QVERIFY(QFile::copy(m_server.clientFolder() + name, m_client.path() + name));
        }
    }

    void connect_data()
    {
        QTest::addColumn<QString>("knownHosts"); // the key known_hosts holds: the "served" one, an "other", none
        QTest::addColumn<TrustDecision>("answer");
        QTest::addColumn<QString>("keyFile"); // the client key: sshd's (""), another ("none"), one with a passphrase
        QTest::addColumn<bool>("passwordUser");
        QTest::addColumn<QStringList>("lines");
        const QStringList connected = strings({"black CONNECT_WITH", "green CONNECTION_TO"});
        const QStringList keyFile = strings({"green SSH_LOGIN_KEYFILE"});
        const auto refused = [](const char* key) { return strings({"black CONNECT_WITH", key}); };
        QTest::newRow("known") << "served" << TrustDecision::Cancel << "" << false << connected + keyFile;
        QTest::newRow("unknown, cancel") << "" << TrustDecision::Cancel << "" << false << refused("red SSH_HOSTKEY_REFUSED");
        QTest::newRow("unknown, this time") << "" << TrustDecision::Once << "" << false
                                            << connected + strings({"blue SSH_HOSTKEY_ONCE"}) + keyFile;
        QTest::newRow("unknown, always") << "" << TrustDecision::Always << "" << false
                                         << connected + strings({"green SSH_HOSTKEY_ALWAYS"}) + keyFile;
        QTest::newRow("changed, cancel") << "other" << TrustDecision::Cancel << "" << false << refused("red SSH_HOSTKEY_CHANGED");
        QTest::newRow("key with passphrase") << "served" << TrustDecision::Cancel << "secret" << false << connected + keyFile;
        QTest::newRow("password") << "served" << TrustDecision::Cancel << "none" << true
                                  << connected + strings({"green SSH_LOGIN_PASSWORD"});
        QTest::newRow("nothing works") << "served" << TrustDecision::Cancel << "none" << false << refused("red SSH_LOGINFAILED");
    }

    // The host-key question comes once per connect, before anything of the log-in goes out; the
    // re-connections of the commands reuse its answer and never ask. The history names the answer
    // and the log-in method that worked, or the methods the server offered.
    void connect()
    {
        QFETCH(QString, knownHosts);
        QFETCH(QString, keyFile);
        const QString known = m_client.filePath(QStringLiteral("known_hosts"));
        QFile::remove(known);
        QFile other(m_client.filePath(QStringLiteral("id_ed25519.pub")));
        QVERIFY(other.open(QIODevice::ReadOnly));
        const QString otherKey = QString::fromLatin1(other.readAll().simplified().split(' ').mid(0, 2).join(' '));
        const QString key = knownHosts == QLatin1String("served") ? m_server.hostKeyText() : otherKey;
        if (!knownHosts.isEmpty())
            QVERIFY(writeFile(known, QStringLiteral("[127.0.0.1]:%1 %2\n").arg(m_server.port()).arg(key).toUtf8()));
        const QString keyPath = m_client.filePath(QStringLiteral("id_ed25519"));
        if (!keyFile.isEmpty())
            QVERIFY(m_server.makeKey(keyPath, keyFile == QLatin1String("secret") ? keyFile : QString())
                    && (keyFile == QLatin1String("none") || m_server.authorize(keyPath + QStringLiteral(".pub"))));
        ConnectionSettings values = settings();
        if (testData<bool>("passwordUser")) {
            values.password = QStringLiteral("pass word"); // as the engine's suite, which may run meanwhile
            values.user = SshdFixture::passwordUser(values.password);
            if (values.user.isEmpty())
                QSKIP("password log-in needs a system user, which only root can make");
        }
        const qsizetype logBefore = m_server.log().size();
        auto jobs = runner(testData<TrustDecision>("answer"), keyFile);
        bool connected = false;
        bool reconnected = false;
        QString folder;
        QVERIFY(runJob(*jobs, [&](JobContext& context) {
            connected = ConnectionJobs::connect(context, values, ConnectVariant::Menu);
            folder = context.session().currentDir();
            context.session().closeConnection();
            reconnected = ConnectionJobs::reconnect(context, values);
        }));
        QStringList lines = linesOf(testData<QStringList>("lines"));
        if (!connected && !m_asked.isEmpty())
            lines.append(lines.last()); // the re-connection is refused without a question, and says so
        QCOMPARE(m_lines, lines);
        QCOMPARE(reconnected, connected);
        QCOMPARE(m_asked.size(), int(knownHosts != QLatin1String("served")));
        for (const HostKeyInfo& asked : std::as_const(m_asked))
            QVERIFY(asked.fingerprint == m_server.hostKeyFingerprint() && asked.changed == !knownHosts.isEmpty()
                    && asked.storedFingerprint.isEmpty() == knownHosts.isEmpty());
        QCOMPARE(m_inputs.size(), int(keyFile == QLatin1String("secret")));
        for (const InputRequest& input : std::as_const(m_inputs))
            QVERIFY(input.masked && input.prompt.contains(keyPath));
        if (connected)
            QCOMPARE(folder, QDir(m_server.rootPath()).canonicalPath()); // the log-in folder, not "/"
        if (m_asked.size() == 1 && !connected) {
            const QRegularExpression logIn(QStringLiteral("Accepted|Postponed|Failed|[Ii]nvalid user|for ") + values.user);
            QVERIFY2(!m_server.log().mid(logBefore).contains(logIn), qPrintable(m_server.log().mid(logBefore)));
        }
        const bool stored = testData<TrustDecision>("answer") == TrustDecision::Always || !knownHosts.isEmpty();
        QCOMPARE(readFile(known).count('\n'), int(stored));
    }

    // The commands' jobs end to end: a listing with a link, blanks and UTF-8 names; a tree down and
    // up byte for byte (0 bytes, several MiB, and text sent as ASCII unchanged); new folder, rename,
    // and the recursive delete, which removes a link as a link.
    void jobs()
    {
        const QString root = QDir(m_server.rootPath()).canonicalPath();
        const auto at = [&root](const char* path) { return root + QString::fromUtf8(path); };
        const auto files = [](const QString& folder) {
            return QList<QByteArray>{readFile(folder + QStringLiteral("/ a b /Grüße.txt")),
                                     readFile(folder + QStringLiteral("/ a b /leer.bin")),
                                     readFile(folder + QStringLiteral("/groß.bin"))};
        };
        QByteArray big(5 * 1024 * 1024 + 7, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(big.data()), big.size() / 4);
        const QList<QByteArray> contents{"line\n", "", big};
        QVERIFY(writeFile(at("/tree/ a b /Grüße.txt"), contents[0]) && writeFile(at("/tree/ a b /leer.bin"))
                && writeFile(at("/tree/groß.bin"), big) && QFile::link(QStringLiteral(" a b "), at("/tree/zu a b")));
        QTemporaryDir local;
        const QString mirror = local.path() + root; // the download rebuilds the server path
        const QList<SelectedRow> tree{{QStringLiteral("tree"), true}};
        auto jobs = runner(TrustDecision::Cancel, QStringLiteral("neu"));
        // The walks' items go through a queue whose worker has a session like the browsing one.
        QueueFixture queue{[this] { return std::unique_ptr<JobRunner>(runner()); }};
        QObject::connect(&queue.processor, &QueueProcessor::historyLine, recorderOf(m_lines));
        RemoteFolderRead read;
        DownloadResult down;
        UploadResult up;
        bool madeAndRenamed = false;
        RemoteDeleteResult deleted;
        QVERIFY(runJob(*jobs, [&](JobContext& context) {
            ConnectionJobs::connect(context, settings(), ConnectVariant::Menu);
            read = RemoteFolderJobs::changeAndRead(context.session(), root, QStringLiteral("tree"));
            down = DownloadJob(context, {tree, root, local.path() + QLatin1Char('/'), settings()}).downloadSelection();
        }));
        QVERIFY(queue.run(down.items, settings().password));
        // The link is not followed: its folder is refused, with the one red line.
        QVERIFY(queue.count(false, TransferState::Done) == 3 && queue.count(false, TransferState::Failed) == 0
                && queue.count(true, TransferState::Failed) == 1);
        QVERIFY(runJob(*jobs, [&](JobContext& context) {
            madeAndRenamed = RemoteFileJobs::createFolder(context, root, RemoteKeys::menu, nullptr);
            const UploadType ascii{TransferType::Ascii, TransferFlag::Ascii, {}};
            up = UploadJob(context, {mirror + QLatin1Char('/'), tree, at("/neu"), settings(), ascii}).uploadSelection();
        }));
        QVERIFY(queue.run(up.items, settings().password));
        QVERIFY(runJob(*jobs, [&](JobContext& context) {
            madeAndRenamed = RemoteFileJobs::renameEntry(context, at("/neu"), QStringLiteral("tree")) && madeAndRenamed;
        }));
        QVERIFY(madeAndRenamed && queue.count(false, TransferState::Done) == 6 && queue.count(false, TransferState::Failed) == 0);
        QCOMPARE(files(at("/neu/neu")), contents);
        QVERIFY(QFile::link(at("/tree"), at("/neu/neu/zum Baum")));
        QVERIFY(runJob(*jobs, [&](JobContext& context) {
            deleted = RemoteDeleteJob(context, {{{QStringLiteral("neu"), true, false}}, root, settings(), {}}).deleteSelection();
        }));
        QVERIFY(deleted.deleted == 7 && deleted.failed == 0 && !QFileInfo::exists(at("/neu")));
        QCOMPARE(files(at("/tree")), contents);

        QCOMPARE(read.currentDir, at("/tree"));
        QStringList listed; // name, "/" for a folder or the size of a file, "@" and the target for a link
        for (const RemoteEntry& entry : read.entries.value_or(QList<RemoteEntry>()))
            listed << entry.name + (entry.isDirectory ? QStringLiteral("/") : QString::number(entry.size))
                          + (entry.isLink ? QLatin1Char('@') + entry.linkTarget : QString());
        // In the order of the names' bytes, as FTP servers list, whatever order the folder keeps.
        QCOMPARE(listed, strings({" a b /", "groß.bin5242887", "zu a b/@ a b "}));
        QCOMPARE(files(mirror + QStringLiteral("/tree")), contents);
        QCOMPARE(m_lines.filter(QStringLiteral("red\t")), linesOf({QStringLiteral("red MDOWN_DOWNFAILED")}));
    }

    // Both ways from the middle: a download goes on from a partial an earlier run left (read from
    // its size on, and written in order), an upload writes from an offset and keeps what is before.
    void resumeFromTheMiddle()
    {
        const QString root = QDir(m_server.rootPath()).canonicalPath();
        QByteArray big(4 * 1024 * 1024 + 3, Qt::Uninitialized);
        QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(big.data()), big.size() / 4);
        const qint64 half = big.size() / 2;
        QVERIFY(writeFile(root + QStringLiteral("/r.bin"), big) && writeFile(root + QStringLiteral("/up.bin"), big.left(half)));
        QTemporaryDir local;
        const QString target = local.filePath(QStringLiteral("r.bin"));
        {
            DownloadFile partial(target);
            QVERIFY(partial.openPartial() && partial.write(big.constData(), half));
            const QFileInfo remote(root + QStringLiteral("/r.bin"));
            partial.recordOrigin({remote.size(), QDateTime::fromSecsSinceEpoch(remote.lastModified().toSecsSinceEpoch(), QTimeZone::utc())});
        }
        qint64 offset = half;
        bool uploaded = false;
        auto jobs = runner(TrustDecision::Once);
        QueueFixture queue{[this] { return std::unique_ptr<JobRunner>(runner(TrustDecision::Once)); }};
        DownloadResult down;
        QVERIFY(runJob(*jobs, [&](JobContext& context) {
            ConnectionJobs::connect(context, settings(), ConnectVariant::Menu);
            down = DownloadJob(context, {{{QStringLiteral("r.bin"), false, big.size()}}, root, local.path(), settings()}).downloadSelection();
            auto upload = context.session().openForUploadFrom(QStringLiteral("up.bin"), TransferFlag::Binary, offset);
            uploaded = upload && upload->write(big.constData() + half, big.size() - half) && upload->close();
        }));
        QVERIFY(queue.run(down.items, settings().password));
        QVERIFY(m_lines.contains(historyLine("black", getText("RESUME_FROM").arg(half).arg(root + QStringLiteral("/r.bin")))));
        QVERIFY(readFile(target) == big && !QFileInfo::exists(target + QStringLiteral(".part")));
        QVERIFY(uploaded && offset == half && readFile(root + QStringLiteral("/up.bin")) == big);
    }
};

QTEST_MAIN(SftpSessionTest)
#include "tst_sftpsession.moc"
