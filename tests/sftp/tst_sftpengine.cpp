// The SFTP engine against a real OpenSSH sshd that the fixture starts on a free port.
#include "KnownHosts.h"
#include "SftpConnection.h"
#include "SftpUploadStream.h"
#include "SshdFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SftpKind)
Q_DECLARE_METATYPE(KnownHostState)
Q_DECLARE_METATYPE(HostKeyTrust)
Q_DECLARE_METATYPE(SshAuthMethod)
Q_DECLARE_METATYPE(SftpStatus::Code)

namespace {

constexpr qint64 mebibyte = 1024 * 1024;

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray randomBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size));
    for (char& byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

// A column of the current data row, for a value used once.
template <typename T>
T testData(const char* column)
{
    return *static_cast<T*>(QTest::qData(column, qMetaTypeId<T>()));
}

} // namespace

class TestSftpEngine : public QObject
{
    Q_OBJECT

    SshdFixture m_server;
    std::atomic<bool> m_cancel{false};
    SftpConnection m_connection; // one for the tests of commands: it must outlast each of them
    QList<KnownHostState> m_asked; // the host-key questions of the last connect

    SftpConnectOptions options(const QString& sshFolder = {}, HostKeyTrust answer = HostKeyTrust::ThisTime)
    {
        SftpConnectOptions options;
        options.host = m_server.host();
        options.port = m_server.port();
        options.user = SshdFixture::userName();
        options.sshFolder = sshFolder.isEmpty() ? m_server.clientFolder() : sshFolder;
        options.useAgent = false;
        options.cancel = &m_cancel;
        options.askHostKey = [this, answer](const SshHostKey&, KnownHostState state) {
            m_asked.append(state);
            return answer;
        };
        return options;
    }

    QString root(const QString& name = {}) const { return m_server.rootPath() + QLatin1Char('/') + name; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorText()));
        const QString known = QStringLiteral("[127.0.0.1]:%1 %2\n").arg(m_server.port()).arg(m_server.hostKeyText());
        QVERIFY(writeFile(m_server.knownHostsPath(), known.toUtf8()));
        const SftpStatus status = m_connection.connect(options());
        QVERIFY2(status, qPrintable(status.message()));
    }

    void init() { m_cancel = false; m_asked.clear(); }

    // QTemporaryDir cannot remove names that are not UTF-8.
    void cleanupTestCase()
    {
        for (const char* name : {"/tree/\xff.bin", "/tree/\xfe.bin"})
            ::unlink((QFile::encodeName(m_server.rootPath()) + name).constData());
    }

    void listing_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<SftpKind>("kind");
        QTest::addColumn<SftpKind>("targetKind");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("permissions");
        QTest::newRow("folder") << QByteArray("folder") << SftpKind::Folder << SftpKind::Other << QByteArray() << qint64(4096) << "drwxr-x---";
        QTest::newRow("blanks") << QByteArray(" a b ") << SftpKind::File << SftpKind::Other << QByteArray() << qint64(3) << "-rw-r-----";
        QTest::newRow("utf-8") << QByteArray("Grüße.txt") << SftpKind::File << SftpKind::Other << QByteArray() << qint64(3) << "-rw-r-----";
        QTest::newRow("not utf-8 (1)") << QByteArray("\xff.bin") << SftpKind::File << SftpKind::Other << QByteArray() << qint64(3) << "-rw-r-----";
        QTest::newRow("not utf-8 (2)") << QByteArray("\xfe.bin") << SftpKind::File << SftpKind::Other << QByteArray() << qint64(3) << "-rw-r-----";
        QTest::newRow("link to file") << QByteArray("to-file") << SftpKind::Link << SftpKind::File << QByteArray(" a b ") << qint64(5) << "lrwxrwxrwx";
        QTest::newRow("link to folder") << QByteArray("to-folder") << SftpKind::Link << SftpKind::Folder << QByteArray("folder") << qint64(6) << "lrwxrwxrwx";
        QTest::newRow("dangling link") << QByteArray("dangling") << SftpKind::Link << SftpKind::Other << QByteArray("nowhere") << qint64(7) << "lrwxrwxrwx";
    }

    void listing()
    {
        const QByteArray tree = QFile::encodeName(root(QStringLiteral("tree")));
        if (!QFileInfo::exists(root(QStringLiteral("tree")))) {
            QVERIFY(QDir().mkpath(root(QStringLiteral("tree/folder"))));
            QFile::setPermissions(root(QStringLiteral("tree/folder")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup);
            // Made by bytes: a name that is not UTF-8 has no QString.
            for (const char* name : {" a b ", "Grüße.txt", "\xff.bin", "\xfe.bin"}) {
                const int descriptor = ::open((tree + '/' + name).constData(), O_CREAT | O_WRONLY, 0640);
                QVERIFY(descriptor >= 0 && ::write(descriptor, "abc", 3) == 3 && ::close(descriptor) == 0);
            }
            QVERIFY(::symlink(" a b ", (tree + "/to-file").constData()) == 0);
            QVERIFY(::symlink("folder", (tree + "/to-folder").constData()) == 0);
            QVERIFY(::symlink("nowhere", (tree + "/dangling").constData()) == 0);
        }
        SftpConnection& connection = m_connection;
        SftpStatus status;
        QList<SftpEntry> entries;
        status = connection.list("tree", entries);
        QVERIFY2(status, qPrintable(status.message()));
        QCOMPARE(entries.size(), 8);

        QFETCH(QByteArray, name);
        const auto entry = std::find_if(entries.begin(), entries.end(), [&](const SftpEntry& e) { return e.name == name; });
        QVERIFY(entry != entries.end());
        QTEST(entry->kind, "kind");
        QTEST(entry->targetKind, "targetKind");
        QTEST(entry->linkTarget, "target");
        if (entry->kind != SftpKind::Folder)
            QTEST(entry->size, "size");
        QTEST(entry->permissions, "permissions");
        if (entry->kind != SftpKind::Link) {
            struct stat info {};
            QVERIFY(::stat((tree + '/' + name).constData(), &info) == 0);
            QCOMPARE(entry->modified, QDateTime::fromSecsSinceEpoch(info.st_mtime, QTimeZone::utc()));
        }
    }

    void transfer_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("empty") << qint64(0);
        QTest::newRow("one byte short of a block") << SftpConnection::blockSize - 1;
        QTest::newRow("several MiB") << 5 * mebibyte + 123;
    }

    // Down and up byte for byte; the upload comes in uneven pieces.
    void transfer()
    {
        QFETCH(qint64, size);
        const QByteArray content = randomBytes(size);
        QVERIFY(writeFile(root(QStringLiteral("down.bin")), content));
        QTemporaryDir local;
        const QString target = local.filePath(QStringLiteral("down.bin"));
        QVERIFY(writeFile(target, "old content"));

        SftpConnection& connection = m_connection;
        SftpStatus status;
        qint64 lastDone = -1;
        status = connection.download("down.bin", target, [&](qint64 done, qint64 total) {
            lastDone = done;
            QCOMPARE(total, size);
        });
        QVERIFY2(status, qPrintable(status.message()));
        QCOMPARE(lastDone, size);
        QVERIFY(readFile(target) == content);
        QCOMPARE(QDir(local.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

        std::unique_ptr<SftpUploadStream> upload = connection.openForUpload("up.bin", status);
        QVERIFY2(upload, qPrintable(status.message()));
        const qint64 pieces[] = {1, 1000, 70'000};
        for (qint64 at = 0, piece = 0; at < size; at += pieces[piece++ % 3])
            QVERIFY(upload->write(content.constData() + at, std::min(pieces[piece % 3], size - at)));
        QVERIFY2(upload->close(), qPrintable(upload->status().message()));
        QVERIFY(readFile(root(QStringLiteral("up.bin"))) == content);
    }

    void fileOperations()
    {
        SftpConnection& connection = m_connection;
        SftpStatus status;
        QByteArray resolved;
        m_cancel = true; // the request is given up on; its late reply must not answer the next one
        QCOMPARE(connection.realPath("..", resolved).code(), SftpStatus::Code::Cancelled);
        m_cancel = false;
        QVERIFY(connection.realPath(".", resolved));
        QCOMPARE(resolved, QFile::encodeName(QDir(m_server.rootPath()).canonicalPath()));

        QVERIFY(connection.makeDirectory("ops"));
        QCOMPARE(connection.makeDirectory("ops").code(), SftpStatus::Code::ServerRefused);
        QVERIFY(writeFile(root(QStringLiteral("ops/a")), "first"));
        QVERIFY(writeFile(root(QStringLiteral("ops/b")), "second"));
        QVERIFY(connection.rename("ops/a", "ops/c"));
        QVERIFY(connection.canReplaceOnRename());
        QVERIFY(connection.rename("ops/c", "ops/b")); // onto an existing name
        QCOMPARE(QDir(root(QStringLiteral("ops"))).entryList(QDir::Files), QStringList{QStringLiteral("b")});
        QCOMPARE(readFile(root(QStringLiteral("ops/b"))), QByteArray("first"));

        QVERIFY(::symlink("b", QFile::encodeName(root(QStringLiteral("ops/link"))).constData()) == 0);
        SftpAttributes attributes;
        QVERIFY(connection.stat("ops/link", attributes));
        QCOMPARE(attributes.kind(), SftpKind::File);
        QVERIFY(connection.lstat("ops/link", attributes));
        QCOMPARE(attributes.kind(), SftpKind::Link);

        // A failed download leaves the local file as it was.
        QTemporaryDir local;
        QVERIFY(writeFile(local.filePath(QStringLiteral("keep")), "kept"));
        status = connection.download("ops/missing", local.filePath(QStringLiteral("keep")));
        QCOMPARE(status.serverCode(), SftpStatus::noSuchFile);
        QCOMPARE(readFile(local.filePath(QStringLiteral("keep"))), QByteArray("kept"));

        QCOMPARE(connection.removeDirectory("ops").code(), SftpStatus::Code::ServerRefused); // not empty
        QVERIFY(connection.remove("ops/link"));
        QVERIFY(connection.remove("ops/b"));
        QVERIFY(connection.removeDirectory("ops"));
        QVERIFY(!QFileInfo::exists(root(QStringLiteral("ops"))));
    }

    void hostKey_data()
    {
        QTest::addColumn<QString>("knownHosts"); // %1 the port, %2 the served key, %3 another key
        QTest::addColumn<HostKeyTrust>("answer");
        QTest::addColumn<QList<KnownHostState>>("asked");
        QTest::addColumn<bool>("loggedIn");
        QTest::addColumn<int>("linesAfter");
        QTest::addColumn<bool>("hashed"); // the file hashed with ssh-keygen -H first
        const QList<KnownHostState> none;
        const QList<KnownHostState> unknown{KnownHostState::Unknown};
        const QList<KnownHostState> changed{KnownHostState::Changed};
        QTest::newRow("known") << "[127.0.0.1]:%1 %2\n" << HostKeyTrust::Cancel << none << true << 1 << false;
        QTest::newRow("known, hashed") << "[127.0.0.1]:%1 %2\n" << HostKeyTrust::Cancel << none << true << 1 << true;
        QTest::newRow("known, other port") << "127.0.0.1 %2\n[127.0.0.1]:1 %2\n" << HostKeyTrust::Cancel << unknown << false << 2 << false;
        QTest::newRow("unknown, cancel") << "" << HostKeyTrust::Cancel << unknown << false << 0 << false;
        QTest::newRow("unknown, this time") << "" << HostKeyTrust::ThisTime << unknown << true << 0 << false;
        QTest::newRow("unknown, always") << "" << HostKeyTrust::Always << unknown << true << 1 << false;
        QTest::newRow("changed, cancel") << "[127.0.0.1]:%1 %3\n" << HostKeyTrust::Cancel << changed << false << 1 << false;
        QTest::newRow("changed, always") << "[127.0.0.1]:%1 %3\nother %3\n" << HostKeyTrust::Always << changed << true << 2 << false;
        QTest::newRow("revoked") << "[127.0.0.1]:%1 %2\n@revoked * %2\n" << HostKeyTrust::Cancel << changed << false << 2 << false;
    }

    void hostKey()
    {
        QFETCH(QString, knownHosts);
        QFETCH(HostKeyTrust, answer);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("known_hosts"));
        QFile otherKey(m_server.clientFolder() + QStringLiteral("/id_ed25519.pub"));
        QVERIFY(otherKey.open(QIODevice::ReadOnly));
        const QString other = QString::fromLatin1(otherKey.readAll().simplified().split(' ').mid(0, 2).join(' '));
        if (!knownHosts.isEmpty())
            QVERIFY(writeFile(path, QString(knownHosts).replace(QLatin1String("%1"), QString::number(m_server.port())).replace(QLatin1String("%2"), m_server.hostKeyText()).replace(QLatin1String("%3"), other).toUtf8()));
        if (testData<bool>("hashed")) {
            QProcess hash;
            hash.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-H"), QStringLiteral("-f"), path});
            QVERIFY(hash.waitForFinished() && hash.exitCode() == 0 && readFile(path).startsWith("|1|"));
            QFile::remove(path + QStringLiteral(".old"));
        }
        QVERIFY(QFile::copy(m_server.clientFolder() + QStringLiteral("/id_ed25519"), folder.filePath(QStringLiteral("id_ed25519"))));

        const qsizetype logBefore = m_server.log().size();
        SftpConnection connection;
        const SftpStatus status = connection.connect(options(folder.path(), answer));
        QTEST(m_asked, "asked");
        QTEST(status.ok(), "loggedIn");
        QCOMPARE(connection.hostKey().fingerprint(), m_server.hostKeyFingerprint());
        if (!status.ok()) {
            // Nothing of the log-in went out: sshd saw the connection end before a user was named.
            QCOMPARE(status.code(), SftpStatus::Code::HostKeyRefused);
            const QRegularExpression end(QStringLiteral("(Connection closed by|Disconnected from|Received disconnect from) 127"));
            QTRY_VERIFY(m_server.log().mid(logBefore).contains(end));
            const QRegularExpression logIn(QStringLiteral("Accepted|Postponed|Failed|[Ii]nvalid user|authenticating user|for %1 ").arg(SshdFixture::userName()));
            QVERIFY2(!m_server.log().mid(logBefore).contains(logIn), qPrintable(m_server.log().mid(logBefore)));
        }
        QList<QByteArray> lines = QFile::exists(path) ? readFile(path).split('\n') : QList<QByteArray>();
        lines.removeAll(QByteArray());
        QTEST(int(lines.size()), "linesAfter");
        if (answer == HostKeyTrust::Always) {
            QCOMPARE(lines.last(), QStringLiteral("[127.0.0.1]:%1 %2").arg(m_server.port()).arg(m_server.hostKeyText()).toUtf8());
            m_asked.clear();
            QVERIFY(SftpConnection().connect(options(folder.path(), HostKeyTrust::Cancel)));
            QVERIFY(m_asked.isEmpty());
        }
    }

    void logIn_data()
    {
        QTest::addColumn<QString>("keyPassphrase"); // a key file in the folder; "-": none
        QTest::addColumn<bool>("agent");            // the client key in a running ssh-agent
        QTest::addColumn<bool>("passwordUser");
        QTest::addColumn<SshAuthMethod>("method");
        QTest::newRow("agent first") << QString() << true << false << SshAuthMethod::Agent;
        QTest::newRow("key file") << QString() << false << false << SshAuthMethod::KeyFile;
        QTest::newRow("key file with passphrase") << QStringLiteral("secret words") << false << false << SshAuthMethod::KeyFile;
        QTest::newRow("password") << QStringLiteral("-") << false << true << SshAuthMethod::Password;
        QTest::newRow("nothing works") << QStringLiteral("-") << false << false << SshAuthMethod::None;
    }

    void logIn()
    {
        QFETCH(QString, keyPassphrase);
        QFETCH(bool, agent);
        QFETCH(bool, passwordUser);
        QTemporaryDir folder;
        SftpConnectOptions options = this->options(folder.path());
        if (keyPassphrase != QLatin1String("-")) {
            const QString key = folder.filePath(QStringLiteral("id_ecdsa")); // the name is what counts, not the type
            QVERIFY2(m_server.makeKey(key, keyPassphrase) && m_server.authorize(key + QStringLiteral(".pub")), qPrintable(m_server.errorText()));
        }
        QProcess sshAgent;
        const QString agentSocket = folder.filePath(QStringLiteral("agent"));
        if (agent) {
            sshAgent.start(QStringLiteral("ssh-agent"), {QStringLiteral("-D"), QStringLiteral("-a"), agentSocket});
            QTRY_VERIFY(QFileInfo::exists(agentSocket));
            QProcess add;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("SSH_AUTH_SOCK"), agentSocket);
            add.setProcessEnvironment(environment);
            add.start(QStringLiteral("ssh-add"), {m_server.clientFolder() + QStringLiteral("/id_ed25519")});
            QVERIFY(add.waitForFinished() && add.exitCode() == 0);
            qputenv("SSH_AUTH_SOCK", agentSocket.toLocal8Bit());
            options.useAgent = true;
        }
        const auto stopAgent = qScopeGuard([&] {
            qunsetenv("SSH_AUTH_SOCK");
            sshAgent.kill();
            sshAgent.waitForFinished();
        });
        QStringList askedFor;
        options.askPassphrase = [&](const QString& file) -> std::optional<QString> {
            askedFor.append(QFileInfo(file).fileName());
            return keyPassphrase;
        };
        options.password = QStringLiteral("wrong");
        if (passwordUser) {
            options.user = SshdFixture::passwordUser(QStringLiteral("pass word"));
            if (options.user.isEmpty())
                QSKIP("password log-in needs a system user, which only root can make");
            options.password = QStringLiteral("pass word");
        }
        SftpConnection connection;
        const SftpStatus status = connection.connect(options);
        QTEST(connection.authMethod(), "method");
        QCOMPARE(askedFor, keyPassphrase.isEmpty() || keyPassphrase == QLatin1String("-") ? QStringList() : QStringList{QStringLiteral("id_ecdsa")});
        if (connection.authMethod() == SshAuthMethod::None) {
            QCOMPARE(status.code(), SftpStatus::Code::LoginFailed);
            QCOMPARE(connection.offeredMethods(), QStringList({QStringLiteral("publickey"), QStringLiteral("password")}));
            QVERIFY(status.message().endsWith(QLatin1String("publickey, password")));
        } else {
            QVERIFY2(status, qPrintable(status.message()));
        }
    }

    void stop_data()
    {
        QTest::addColumn<QString>("during");
        QTest::addColumn<SftpStatus::Code>("code");
        QTest::newRow("download") << "download" << SftpStatus::Code::Cancelled;
        QTest::newRow("upload") << "upload" << SftpStatus::Code::Cancelled;
        QTest::newRow("connect to a silent server") << "connect" << SftpStatus::Code::Cancelled;
        QTest::newRow("time-out") << "connect" << SftpStatus::Code::TimedOut;
    }

    // A stop ends a transfer or a connect soon, and a stopped transfer leaves the connection
    // usable. Only a hang check: the limit is far above what a stop takes.
    void stop()
    {
        QFETCH(QString, during);
        QFETCH(SftpStatus::Code, code);
        QFile big(root(QStringLiteral("big.bin")));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(4096 * mebibyte));
        big.close();
        SftpConnection& connection = m_connection;
        SftpStatus status;

        QElapsedTimer sinceStop;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sinceStop.start();
            m_cancel = code == SftpStatus::Code::Cancelled;
        });
        QTemporaryDir local;
        if (during == QLatin1String("download")) {
            status = connection.download("big.bin", local.filePath(QStringLiteral("big.bin")));
        } else if (during == QLatin1String("upload")) {
            std::unique_ptr<SftpUploadStream> upload = connection.openForUpload("up-big.bin", status);
            QVERIFY(upload);
            const QByteArray piece(mebibyte, 'x');
            for (int i = 0; i < 4096 && upload->write(piece.constData(), piece.size()); ++i) {
            }
            status = upload->status();
        } else {
            QTcpServer silent; // takes connections (the kernel does) and never says a word
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            SftpConnectOptions options = this->options();
            options.port = silent.serverPort();
            options.connectTimeoutMilliseconds = 1000;
            status = SftpConnection().connect(options);
        }
        const qint64 stopped = sinceStop.elapsed();
        stopper.join();
        QCOMPARE(status.code(), code);
        QVERIFY2(stopped < 10'000, qPrintable(QString::number(stopped)));
        QVERIFY(QDir(local.path()).isEmpty());
        m_cancel = false;
        QList<SftpEntry> entries;
        QVERIFY(connection.list(".", entries));
    }
};

QTEST_GUILESS_MAIN(TestSftpEngine)
#include "tst_sftpengine.moc"
