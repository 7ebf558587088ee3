#include "DownloadFile.h"
#include "FtpSession.h"
#include "NameCodec.h"
#include "TestHelpers.h"
#include "VsftpdFixture.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How one run of the walk talks to its server.
struct Mode {
    bool passive = true;
    bool tls = false;             // vsftpd demanding TLS for login and data, and the TLS session's reuse; else pyftpdlib
    bool refuseMlsd = false;      // pyftpdlib refuses MLSD (its FEAT names only MLST either way): LIST after it
    bool noExtendedModes = false; // pyftpdlib refuses EPSV and EPRT
    const char* host = "127.0.0.1";
    const char* dataCommand = "> EPSV"; // once per data connection
    const char* refused = "";           // tried once, then remembered
};

// Any bytes as the name, not only those a QString holds.
bool writeRawName(const QByteArray& path, const QByteArray& bytes)
{
    FILE* file = std::fopen(path.constData(), "wb");
    const bool written = file && std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file) == size_t(bytes.size());
    return file && std::fclose(file) == 0 && written;
}

} // namespace

Q_DECLARE_METATYPE(Mode)

// The FTP session against real servers on the loopback interface: pyftpdlib, and vsftpd for TLS.
// The walk starts a server of its own for each mode; the other cases share one pyftpdlib.
class FtpSessionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Several TLS records and several of the transport's slices, with a ragged end.
        m_payload.resize(3 * 1024 * 1024 + 4321);
        QRandomGenerator generator(1704);
        for (char& byte : m_payload)
            byte = static_cast<char>(generator.bounded(256));
        QVERIFY(QDir(m_sharedRoot.path()).mkpath(QStringLiteral("full/inner")));
        QVERIFY(writeFile(m_sharedRoot.filePath(QStringLiteral("victim.txt")), "x"));
        QVERIFY(writeFile(m_sharedRoot.filePath(QStringLiteral("f")), "new content"));
        QVERIFY(writeFile(m_sharedRoot.filePath(QStringLiteral("data.bin")), QByteArray(100000, 'd')));
        QVERIFY2(m_shared.start(m_sharedRoot.path()), qPrintable(m_shared.errorText()));
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        m_local = std::make_unique<QTemporaryDir>();
        m_transcript.clear();
    }

    // One walk through the operation table, in every mode: log in, list (names with blanks, one
    // that is not UTF-8, a link to a folder), fetch each file by the name listed, enter the link,
    // then make a folder, upload, rename, delete and remove; a name that is not UTF-8 goes back
    // byte for byte.
    void walk_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::newRow("passive") << Mode{};
        QTest::newRow("active") << Mode{.passive = false, .dataCommand = "> EPRT |1|127.0.0.1|"};
        QTest::newRow("LIST when MLSD is refused, passive") << Mode{.refuseMlsd = true};
        QTest::newRow("LIST when MLSD is refused, active")
            << Mode{.passive = false, .refuseMlsd = true, .dataCommand = "> EPRT"};
        QTest::newRow("PASV when EPSV is refused") << Mode{.noExtendedModes = true, .dataCommand = "> PASV", .refused = "> EPSV"};
        QTest::newRow("PORT when EPRT is refused")
            << Mode{.passive = false, .noExtendedModes = true, .dataCommand = "> PORT ", .refused = "> EPRT"};
        QTest::newRow("IPv6 passive") << Mode{.host = "::1"};
        QTest::newRow("IPv6 active") << Mode{.passive = false, .host = "::1", .dataCommand = "> EPRT |2|::1|"};
        QTest::newRow("TLS passive") << Mode{.tls = true};
        QTest::newRow("TLS active") << Mode{.passive = false, .tls = true, .dataCommand = "> EPRT"};
    }

    void walk()
    {
        QFETCH(Mode, mode);
        const QByteArray root = QFile::encodeName(m_root->path()) + '/';
        const QByteArray latin("caf\xe9 \xff.txt");
        const QMap<QByteArray, QByteArray> files{{" lead", "1"},        {"trail ", "22"},   {"in  ner", "333"},
                                                 {"Grüße.txt", "4444"}, {latin, "latin"}, {"big.bin", m_payload}};
        for (auto file = files.begin(); file != files.end(); ++file)
            QVERIFY(writeRawName(root + file.key(), file.value()));
        QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("folder one")));
        QVERIFY(QFile::link(QStringLiteral("folder one/"), m_root->filePath(QStringLiteral("link"))));
        FtpServerFixture pyftpdlib({.noExtendedModes = mode.noExtendedModes, .host = QLatin1String(mode.host),
                                    .refuseMlsd = mode.refuseMlsd});
        VsftpdFixture vsftpd;
        ConnectionSettings settings;
        if (mode.tls) {
            QVERIFY2(vsftpd.start(m_root->path()), qPrintable(vsftpd.errorText()));
            settings = {.host = vsftpd.host(), .port = vsftpd.portText(), .user = QStringLiteral("anonymous"),
                        .password = {}, .ftp = {mode.passive, FtpSettings::Encryption::Required}};
        } else {
            if (!pyftpdlib.start(m_root->path()) && pyftpdlib.host() == QLatin1String("::1"))
                QSKIP("no IPv6 loopback here");
            QVERIFY2(pyftpdlib.port(), qPrintable(pyftpdlib.errorText()));
            settings = settingsOf(pyftpdlib, mode.passive);
        }

        FtpSession session;
        session.setPeerIdentityQuestion([&vsftpd](const PeerIdentity& identity) {
            const CertificateInfo* info = identity.certificate();
            return info && info->sha256 == vsftpd.certificateSha256() ? TrustDecision::Once : TrustDecision::Cancel;
        });
        QVERIFY2(connect(session, settings), qPrintable(session.lastError()));
        const QString home = session.currentDir(); // vsftpd, run without chroot, names the real path
        QVERIFY(home.startsWith(QLatin1Char('/')));
        if (mode.tls) {
            QCOMPARE(session.connectFacts().tls, TlsOutcome::Encrypted);
            QVERIFY(m_transcript.contains(QStringLiteral("> PBSZ 0")) && m_transcript.contains(QStringLiteral("> PROT P")));
        }

        const auto entries = session.list();
        QVERIFY2(entries, qPrintable(session.lastError()));
        QStringList names;
        for (const RemoteEntry& entry : *entries)
            names.append(entry.name + QLatin1String(entry.isDirectory ? "/" : ""));
        names.sort();
        QVERIFY(std::any_of(entries->cbegin(), entries->cend(), [](const RemoteEntry& entry) {
            return entry.name == QLatin1String("link") && entry.isLink;
        }));
        QCOMPARE(names, (QStringList{QStringLiteral(" lead"), QStringLiteral("Grüße.txt"), QStringLiteral("big.bin"),
                                     NameCodec::decode(latin), QStringLiteral("folder one/"), QStringLiteral("in  ner"),
                                     QStringLiteral("link/"), QStringLiteral("trail ")}));
        const QString copy = m_local->filePath(QStringLiteral("copy"));
        for (const RemoteEntry& entry : *entries) {
            if (entry.isDirectory)
                continue;
            const QByteArray content = files.value(entry.rawName(), "<not listed so>");
            QCOMPARE(entry.size, content.size());
            QPair<qint64, qint64> progress;
            const auto report = [&progress](qint64 done, qint64 total) { progress = {done, total}; };
            QVERIFY2(session.get(copy, entry.name, report), qPrintable(session.lastError()));
            QVERIFY2(readFile(copy) == content, qPrintable(entry.name));
            QCOMPARE(progress, qMakePair(content.size(), content.size()));
            QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("copy")});
        }
        // A resume from the middle (REST before RETR) into a partial beside the copy: a file of that
        // name that no download left is passed over.
        QVERIFY(writeFile(copy + QStringLiteral(".part"), "not ours"));
        DownloadFile partial(copy);
        QVERIFY(partial.openPartial() && partial.write(m_payload.constData(), 1000));
        QCOMPARE(partial.partialPath(), copy + QStringLiteral(".1.part"));
        qint64 offset = 1000;
        QVERIFY2(session.getFrom(partial, QStringLiteral("big.bin"), offset, m_payload.size()), qPrintable(session.lastError()));
        QVERIFY(offset == 1000 && readFile(copy) == m_payload && readFile(copy + QStringLiteral(".part")) == "not ours");
        QVERIFY(session.setDir(QStringLiteral("link")));
        QVERIFY(session.setDir(home));

        const QString folder = QStringLiteral("Neuer Ordner ü");
        QVERIFY2(session.createDir(folder), qPrintable(session.lastError()));
        QVERIFY(session.setDir(folder));
        QCOMPARE(session.currentDir(), QDir::cleanPath(home + QLatin1Char('/') + folder));
        // The first half, then the rest as a resume (REST + STOR: both servers name REST STREAM).
        const qint64 half = m_payload.size() / 2;
        auto upload = session.openForUpload(QStringLiteral("a b.txt"), TransferFlag::Binary);
        QVERIFY(upload && upload->write(m_payload.constData(), half) && upload->close());
        offset = half;
        upload = session.openForUploadFrom(QStringLiteral("a b.txt"), TransferFlag::Binary, offset);
        QVERIFY2(upload && offset == half, qPrintable(session.lastError()));
        constexpr qint64 piece = 255; // as the upload command hands the file over
        for (qint64 at = half; at < m_payload.size(); at += piece)
            QVERIFY(upload->write(m_payload.constData() + at, std::min(piece, m_payload.size() - at)));
        // An open upload holds every other command off.
        QVERIFY(session.currentDir().isEmpty());
        QVERIFY(session.lastError().contains(QLatin1String("transfer")));
        QVERIFY2(upload->close(), qPrintable(session.lastError()));
        QVERIFY(!upload->write("more", 4));
        QVERIFY(readFile(m_root->filePath(folder + QStringLiteral("/a b.txt"))) == m_payload);
        QVERIFY(session.rename(QStringLiteral("a b.txt"), QStringLiteral("c  d.txt")));
        QVERIFY(QFile::exists(m_root->filePath(folder + QStringLiteral("/c  d.txt"))));
        QVERIFY(session.remove(QStringLiteral("c  d.txt")));
        QVERIFY(session.setDir(home));
        QVERIFY(session.removeDir(folder));
        QVERIFY(!QFileInfo::exists(m_root->filePath(folder)));
        QVERIFY(session.rename(NameCodec::decode(latin), NameCodec::decode(latin + ".bak")));
        QCOMPARE(::unlink(root + latin + ".bak"), 0); // QTemporaryDir cannot name it

        // One data connection per listing and transfer, in the mode asked for; on pyftpdlib one
        // more for the refused MLSD, or for the LIST that tells which of MLSD's folders are links.
        const qsizetype dataConnections = 1 + files.size() + 3 + (mode.tls ? 0 : 1);
        QCOMPARE(m_transcript.filter(QStringLiteral("> REST ")), strings({"> REST 1000", "> REST 1575024"}));
        QCOMPARE(m_transcript.filter(QLatin1String(mode.dataCommand)).size(), dataConnections);
        if (*mode.refused)
            QCOMPARE(m_transcript.filter(QLatin1String(mode.refused)).size(), 1);
        // MLSD where FEAT names MLST (pyftpdlib), LIST where it does not (vsftpd).
        QCOMPARE(m_transcript.count(QStringLiteral("> MLSD")), mode.tls ? 0 : 1);
        QCOMPARE(m_transcript.count(QStringLiteral("> LIST")), 1);
        QVERIFY(m_transcript.contains(QStringLiteral("> TYPE I")));
        if (mode.tls) // the server demands the TLS session's reuse and logs it
            QCOMPARE(vsftpd.serverLog().count(QLatin1String(", reused,")), dataConnections);
        session.closeConnection();
        QVERIFY(!session.isConnected());
        QVERIFY(session.currentDir().isEmpty());
    }

    // Every refusal, by the server or before anything is sent, leaves the connection, the server's
    // files and the local file as they were; a name or login with a line break or NUL never
    // reaches the wire, so it cannot smuggle in a second command.
    void refusedOperations_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        const QString e550 = QStringLiteral("550");
        const QString refused = QStringLiteral("refused");
        QTest::newRow("change into a missing folder") << QStringLiteral("cd") << QStringLiteral("missing") << e550;
        QTest::newRow("create an existing folder") << QStringLiteral("mkdir") << QStringLiteral("full") << e550;
        QTest::newRow("remove a folder that is not empty") << QStringLiteral("rmdir") << QStringLiteral("full") << e550;
        QTest::newRow("delete a missing file") << QStringLiteral("delete") << QStringLiteral("missing.txt") << e550;
        QTest::newRow("rename a missing file") << QStringLiteral("rename") << QStringLiteral("missing.txt") << e550;
        QTest::newRow("download a missing file") << QStringLiteral("get") << QStringLiteral("missing.txt") << e550;
        QTest::newRow("upload into a missing folder") << QStringLiteral("put") << QStringLiteral("missing/up.txt") << e550;
        QTest::newRow("CR, change folder") << QStringLiteral("cd") << QStringLiteral("x\rDELE victim.txt") << refused;
        QTest::newRow("LF, rename") << QStringLiteral("rename") << QStringLiteral("x\nDELE victim.txt") << refused;
        QTest::newRow("CR LF, upload") << QStringLiteral("put") << QStringLiteral("a\r\nDELE victim.txt") << refused;
        QTest::newRow("NUL, new folder") << QStringLiteral("mkdir") << QStringLiteral("nul%1DELE victim.txt").arg(QChar(0))
                                         << refused;
        QTest::newRow("CR LF, user name") << QStringLiteral("user") << QStringLiteral("tester\r\nDELE victim.txt") << refused;
        QTest::newRow("LF, password") << QStringLiteral("password") << QStringLiteral("pw\nDELE victim.txt") << refused;
    }

    void refusedOperations()
    {
        QFETCH(QString, operation);
        QFETCH(QString, name);
        QFETCH(QString, error);
        const QString local = m_local->filePath(QStringLiteral("x"));
        QVERIFY(writeFile(local, "old content"));
        FtpSession session;
        ConnectionSettings values = settingsOf(m_shared);
        QVERIFY(connect(session, values));
        const bool login = operation == QLatin1String("user") || operation == QLatin1String("password");
        if (login)
            (operation == QLatin1String("user") ? values.user : values.password) = name;
        const bool ok = login                                   ? session.openConnection(values)
                        : operation == QLatin1String("cd")     ? session.setDir(name)
                        : operation == QLatin1String("mkdir")  ? session.createDir(name)
                        : operation == QLatin1String("rmdir")  ? session.removeDir(name)
                        : operation == QLatin1String("delete") ? session.remove(name)
                        : operation == QLatin1String("rename") ? session.rename(name, QStringLiteral("other.txt"))
                        : operation == QLatin1String("get")    ? session.get(local, name)
                                                               : session.openForUpload(name, TransferFlag::Binary) != nullptr;
        QVERIFY(!ok);
        QVERIFY2(session.lastError().contains(error) && !session.lastError().contains(QLatin1String("victim")),
                 qPrintable(session.lastError()));
        QVERIFY2(m_transcript.filter(QStringLiteral("victim")).isEmpty(), qPrintable(m_transcript.join(QLatin1Char('\n'))));
        QVERIFY(QFile::exists(m_sharedRoot.filePath(QStringLiteral("victim.txt"))));
        QVERIFY(QFileInfo(m_sharedRoot.filePath(QStringLiteral("full/inner"))).isDir());
        QCOMPARE(session.isConnected(), !login);
        QCOMPARE(session.currentDir(), login ? QString() : QStringLiteral("/"));
        QCOMPARE(readFile(local), QByteArray("old content"));
        QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("x")});
    }

    // A downloaded file replaces the old one with its permission bits, but never passes on
    // set-user-ID, set-group-ID or sticky, and never looks through a link for them: a link is
    // replaced by a new file, and its target stays as it was.
    void downloadTakesTheOldModeSafely()
    {
        const QString target = m_local->filePath(QStringLiteral("target"));
        const QString link = m_local->filePath(QStringLiteral("link"));
        const QString elsewhere = m_local->filePath(QStringLiteral("elsewhere"));
        QVERIFY(writeFile(target, "old") && writeFile(elsewhere, "old"));
        QCOMPARE(::symlink("elsewhere", QFile::encodeName(link).constData()), 0);
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 07755), 0);
        QCOMPARE(::chmod(QFile::encodeName(elsewhere).constData(), 04711), 0);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        const auto typeAndMode = [](const QString& path) {
            struct stat result {};
            return ::lstat(QFile::encodeName(path).constData(), &result) == 0 ? result.st_mode & (S_IFMT | 07777) : 0;
        };
        FtpSession session;
        QVERIFY(connect(session, settingsOf(m_shared)));
        QVERIFY2(session.get(target, QStringLiteral("f")) && session.get(link, QStringLiteral("f")),
                 qPrintable(session.lastError()));
        QCOMPARE(typeAndMode(target), mode_t(S_IFREG | 0755));
        QCOMPARE(typeAndMode(link), mode_t(S_IFREG | (0666 & ~mask)));
        QCOMPARE(readFile(link), QByteArray("new content"));
        QCOMPARE(readFile(elsewhere), QByteArray("old"));
        QCOMPARE(typeAndMode(elsewhere), mode_t(S_IFREG | 04711));
    }

    void writePastTheFileSizeLimitFails()
    {
        const QString target = m_local->filePath(QStringLiteral("target"));
        QVERIFY(writeFile(target, "old"));
        // In a child, so that the limit and a signal that kills do not reach the test itself.
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            DownloadFile file(target);
            const QByteArray data(8192, 'x');
            const bool failed = file.open() && !file.write(data.constData(), data.size())
                                && file.errorText().contains(QLatin1String("too large"));
            file.discard();
            ::_exit(failed ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status), qPrintable(QStringLiteral("ended by signal %1").arg(WTERMSIG(status))));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(readFile(target), QByteArray("old"));
        QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("target")});
    }

    void abandonedUploadIsBrokenOff()
    {
        FtpServerFixture server; // its own: the reset may end pyftpdlib
        QVERIFY2(server.start(m_root->path()), qPrintable(server.errorText()));
        FtpSession session;
        QVERIFY(connect(session, settingsOf(server)));
        {
            auto upload = session.openForUpload(QStringLiteral("partial.bin"), TransferFlag::Binary);
            QVERIFY(upload);
            QVERIFY(upload->write(m_payload.constData(), 1024 * 1024));
            // Gone without close(), as when the local file could not be read to its end.
        }
        // The server's answer to the reset is read (pyftpdlib takes the part for the whole and says
        // 226; sometimes it says nothing, and then the connection or the server goes): either way
        // the next command gets its own reply.
        QVERIFY(!session.isConnected() || session.currentDir() == QStringLiteral("/"));
        QVERIFY(!m_transcript.filter(QStringLiteral("[Finishing] ->")).isEmpty());
    }

    // The port text goes by the connection bar's rules (blanks around, rounded); one that is no
    // port fails the connect, and the earlier connection is gone as well.
    void portTextDecidesTheConnect()
    {
        FtpSession session;
        ConnectionSettings values = settingsOf(m_shared);
        values.port = QStringLiteral("  %1.4 ").arg(m_shared.port());
        QVERIFY2(connect(session, values), qPrintable(session.lastError()));
        values.port = QStringLiteral("twenty-one");
        QVERIFY(!session.openConnection(values));
        QVERIFY(!session.isConnected());
    }

    void activeModeTurnsAwayOtherAddresses()
    {
        int intruder = -1;
        FtpSession session;
        session.setTranscript([&intruder](const QString& line) {
            // As soon as the port is announced, someone else on another address connects to it.
            if (!line.startsWith(QLatin1String("> EPRT |1|127.0.0.1|")) || intruder >= 0)
                return;
            sockaddr_in from{};
            from.sin_family = AF_INET;
            from.sin_addr.s_addr = htonl(0x7F000002); // 127.0.0.2
            sockaddr_in to = from;
            to.sin_port = htons(static_cast<quint16>(line.section(QLatin1Char('|'), 3, 3).toUInt()));
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            intruder = ::socket(AF_INET, SOCK_STREAM, 0);
            if (::bind(intruder, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0
                || ::connect(intruder, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
                qWarning("intruder could not connect: %s", std::strerror(errno));
        });
        QVERIFY(session.openConnection(settingsOf(m_shared, false)));
        const QString local = m_local->filePath(QStringLiteral("data.bin"));
        QVERIFY2(session.get(local, QStringLiteral("data.bin")), qPrintable(session.lastError()));
        QVERIFY(intruder >= 0);
        QCOMPARE(readFile(local), QByteArray(100000, 'd'));
        // The intruder was hung up on without a byte.
        char byte = 0;
        QVERIFY(::recv(intruder, &byte, 1, 0) <= 0);
        ::close(intruder);
    }

private:
    bool connect(FtpSession& session, const ConnectionSettings& settings)
    {
        session.setTranscript([this](const QString& line) { m_transcript.append(line); });
        return session.openConnection(settings);
    }

    QByteArray m_payload;
    QTemporaryDir m_sharedRoot;
    FtpServerFixture m_shared;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_local;
    QStringList m_transcript;
};

QTEST_GUILESS_MAIN(FtpSessionTest)
#include "tst_ftpsession.moc"
