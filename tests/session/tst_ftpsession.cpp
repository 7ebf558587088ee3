#include "FtpServerFixture.h"
#include "FtpSession.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The FTP session against a real server (pyftpdlib on 127.0.0.1), in passive and active mode.
class FtpSessionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void connectsAndLogsIn_data();
    void connectsAndLogsIn();
    void wrongPasswordIsRefusedWithoutShowingIt();
    void lineBreakInLoginIsRefused_data();
    void lineBreakInLoginIsRefused();
    void portWithoutServerFailsLikeUnreachable();
    void portThatIsNoNumberFailsWithoutConnecting();
    void operations_data();
    void operations();
    void failingOperations_data();
    void failingOperations();
    void permissionDenied();
    void listing_data();
    void listing();
    void largeFileRoundTrip_data();
    void largeFileRoundTrip();
    void asciiUploadSendsCrLf_data();
    void asciiUploadSendsCrLf();
    void namesThatAreNotUtf8RoundTrip_data();
    void namesThatAreNotUtf8RoundTrip();
    void namesWithLineBreaksAreRefused();
    void dataConnectionVariants_data();
    void dataConnectionVariants();
    void activeModeTurnsAwayOtherAddresses();
    void droppedConnectionIsNoticed();
    void openUploadHoldsOtherCommandsOff();
    void abandonedUploadIsBrokenOff();
    void hostileNamesAreListedAsSent();

private:
    ConnectionSettings settings(bool passive) const;
    bool restartServer(const FtpServerFixture::Options& options);
    bool connect(FtpSession& session, bool passive);
    QString rootPath(const QString& name) const { return m_root->filePath(name); }
    QString localPath(const QString& name) const { return m_local->filePath(name); }
    static void writeFile(const QString& path, const QByteArray& bytes);
    static QByteArray readFile(const QString& path);

    QByteArray m_largeFile;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<FtpServerFixture> m_server;
    QStringList m_transcript;
};

namespace {

void addModeColumn()
{
    QTest::addColumn<bool>("passive");
    QTest::newRow("passive") << true;
    QTest::newRow("active") << false;
}

} // namespace

void FtpSessionTest::initTestCase()
{
    m_largeFile.resize(50 * 1024 * 1024);
    QRandomGenerator generator(4711);
    generator.fillRange(reinterpret_cast<quint32*>(m_largeFile.data()), m_largeFile.size() / 4);
}

void FtpSessionTest::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    m_local = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<FtpServerFixture>();
    m_transcript.clear();
    QVERIFY2(m_server->start(m_root->path()), qPrintable(m_server->errorText()));
}

void FtpSessionTest::cleanup()
{
    m_server.reset();
}

ConnectionSettings FtpSessionTest::settings(bool passive) const
{
    return ConnectionSettings{m_server->host(), m_server->portText(), m_server->user(), m_server->password(), passive};
}

// Swaps the default server for one that behaves as the test needs.
bool FtpSessionTest::restartServer(const FtpServerFixture::Options& options)
{
    m_server.reset();
    m_server = std::make_unique<FtpServerFixture>(options);
    return m_server->start(m_root->path()) != 0;
}

bool FtpSessionTest::connect(FtpSession& session, bool passive)
{
    session.setTranscript([this](const QString& line) { m_transcript.append(line); });
    return session.openConnection(settings(passive));
}

void FtpSessionTest::writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray FtpSessionTest::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void FtpSessionTest::connectsAndLogsIn_data()
{
    addModeColumn();
}

void FtpSessionTest::connectsAndLogsIn()
{
    QFETCH(bool, passive);
    FtpSession session;
    QVERIFY2(connect(session, passive), qPrintable(session.lastError()));
    QVERIFY(session.isConnected());
    QCOMPARE(session.ftpCurrentDir(), QStringLiteral("/"));
    QVERIFY(m_transcript.contains(QStringLiteral("> PASS ****")));
    // pyftpdlib offers UTF8 but names only MLST, so listings go through LIST.
    QVERIFY(m_transcript.contains(QStringLiteral("> OPTS UTF8 ON")));
    const auto entries = session.ftpList(); // the root is still empty
    QVERIFY2(entries && entries->isEmpty(), qPrintable(session.lastError()));
    session.closeConnection();
    QVERIFY(!session.isConnected());
    QVERIFY(session.ftpCurrentDir().isEmpty());
}

void FtpSessionTest::wrongPasswordIsRefusedWithoutShowingIt()
{
    const QString wrong = QStringLiteral("wrong-pass-8154");
    FtpSession session;
    session.setTranscript([this](const QString& line) { m_transcript.append(line); });
    ConnectionSettings values = settings(true);
    values.password = wrong;
    QVERIFY(!session.openConnection(values));
    QVERIFY(!session.isConnected());
    QVERIFY(session.lastError().contains(QLatin1String("530")));
    QVERIFY(!session.lastError().contains(wrong));
    QVERIFY(!m_transcript.join(QLatin1Char('\n')).contains(wrong));
}

void FtpSessionTest::lineBreakInLoginIsRefused_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("user") << FtpServerFixture::user() + QStringLiteral("\r\nDELE x") << FtpServerFixture::password();
    QTest::newRow("password") << FtpServerFixture::user() << FtpServerFixture::password() + QStringLiteral("\nDELE x");
}

void FtpSessionTest::lineBreakInLoginIsRefused()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    FtpSession session;
    ConnectionSettings values = settings(true);
    values.user = user;
    values.password = password;
    QVERIFY(!session.openConnection(values));
    QVERIFY(!session.isConnected());
    QVERIFY(session.lastError().contains(QLatin1String("refused")));
    QVERIFY(!session.lastError().contains(password));
}

void FtpSessionTest::portWithoutServerFailsLikeUnreachable()
{
    const quint16 port = m_server->port();
    m_server->stop();
    FtpSession session;
    ConnectionSettings values = settings(true);
    values.port = QString::number(port);
    QVERIFY(!session.openConnection(values));
    QVERIFY(!session.isConnected());
    QVERIFY(!session.lastError().isEmpty());
}

void FtpSessionTest::portThatIsNoNumberFailsWithoutConnecting()
{
    FtpSession session;
    QVERIFY(connect(session, true));
    ConnectionSettings values = settings(true);
    values.port = QStringLiteral("twenty-one");
    m_transcript.clear();
    QVERIFY(!session.openConnection(values));
    QVERIFY(!session.isConnected()); // the earlier connection is gone as well
    QVERIFY(!m_transcript.join(QLatin1Char('\n')).contains(QLatin1String("connected to")));
    values.port = QStringLiteral("  %1.4 ").arg(m_server->port());
    QVERIFY2(session.openConnection(values), qPrintable(session.lastError()));
}

void FtpSessionTest::operations_data()
{
    addModeColumn();
}

void FtpSessionTest::operations()
{
    QFETCH(bool, passive);
    FtpSession session;
    QVERIFY(connect(session, passive));
    const QString folder = QStringLiteral("Neuer Ordner ü");
    QVERIFY2(session.ftpCreateDir(folder), qPrintable(session.lastError()));
    QVERIFY(QFileInfo(rootPath(folder)).isDir());
    QVERIFY(session.ftpSetDir(folder));
    QCOMPARE(session.ftpCurrentDir(), QStringLiteral("/") + folder);

    auto upload = session.ftpOpenForUpload(QStringLiteral("a b.txt"), TransferFlag::Binary);
    QVERIFY2(upload, qPrintable(session.lastError()));
    QVERIFY(upload->write("content\n", 8));
    QVERIFY(upload->close());
    upload.reset();
    QCOMPARE(readFile(rootPath(folder + QStringLiteral("/a b.txt"))), QByteArray("content\n"));

    QVERIFY(session.ftpRename(QStringLiteral("a b.txt"), QStringLiteral("c  d.txt")));
    QVERIFY(QFile::exists(rootPath(folder + QStringLiteral("/c  d.txt"))));
    writeFile(localPath(QStringLiteral("c  d.txt")), "an older local file");
    qint64 lastDone = 0;
    QVERIFY(session.ftpGet(localPath(QStringLiteral("c  d.txt")), QStringLiteral("c  d.txt"),
                           [&lastDone](qint64 done, qint64) { lastDone = done; }));
    QCOMPARE(readFile(localPath(QStringLiteral("c  d.txt"))), QByteArray("content\n"));
    QCOMPARE(lastDone, 8);
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("c  d.txt")});
    QVERIFY(session.ftpDelete(QStringLiteral("c  d.txt")));
    QVERIFY(!QFile::exists(rootPath(folder + QStringLiteral("/c  d.txt"))));

    QVERIFY(session.ftpSetDir(QStringLiteral("/")));
    QVERIFY(session.ftpRemoveDir(folder));
    QVERIFY(!QFileInfo::exists(rootPath(folder)));
    // Downloads are binary whatever came before; uploads use the type they were given.
    QVERIFY(m_transcript.contains(QStringLiteral("> TYPE I")));
    QVERIFY(m_transcript.contains(passive ? QStringLiteral("> EPSV") : QStringLiteral("> RETR c  d.txt")));
}

void FtpSessionTest::failingOperations_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("change into a missing folder") << QStringLiteral("cd");
    QTest::newRow("create an existing folder") << QStringLiteral("mkdir");
    QTest::newRow("remove a missing folder") << QStringLiteral("rmdir");
    QTest::newRow("remove a folder that is not empty") << QStringLiteral("rmdir-full");
    QTest::newRow("delete a missing file") << QStringLiteral("delete");
    QTest::newRow("rename a missing file") << QStringLiteral("rename");
    QTest::newRow("download a missing file") << QStringLiteral("get");
}

void FtpSessionTest::failingOperations()
{
    QFETCH(QString, operation);
    QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("full/inner")));
    writeFile(localPath(QStringLiteral("x")), "old content");
    FtpSession session;
    QVERIFY(connect(session, true));
    bool ok = true;
    if (operation == QLatin1String("cd"))
        ok = session.ftpSetDir(QStringLiteral("missing"));
    else if (operation == QLatin1String("mkdir"))
        ok = session.ftpCreateDir(QStringLiteral("full"));
    else if (operation == QLatin1String("rmdir"))
        ok = session.ftpRemoveDir(QStringLiteral("missing"));
    else if (operation == QLatin1String("rmdir-full"))
        ok = session.ftpRemoveDir(QStringLiteral("full"));
    else if (operation == QLatin1String("delete"))
        ok = session.ftpDelete(QStringLiteral("missing.txt"));
    else if (operation == QLatin1String("rename"))
        ok = session.ftpRename(QStringLiteral("missing.txt"), QStringLiteral("other.txt"));
    else if (operation == QLatin1String("get"))
        ok = session.ftpGet(localPath(QStringLiteral("x")), QStringLiteral("missing.txt"));
    QVERIFY(!ok);
    QVERIFY(session.lastError().contains(QLatin1String("550")));
    // A refusal leaves the connection as it was.
    QVERIFY(session.isConnected());
    QCOMPARE(session.ftpCurrentDir(), QStringLiteral("/"));
    QVERIFY(QFileInfo(rootPath(QStringLiteral("full/inner"))).isDir());
    // A failed download leaves the local file it was to replace alone, and no temporary file.
    QCOMPARE(readFile(localPath(QStringLiteral("x"))), QByteArray("old content"));
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("x")});
}

void FtpSessionTest::permissionDenied()
{
    writeFile(rootPath(QStringLiteral("keep.txt")), "keep");
    FtpSession session;
    ConnectionSettings values = settings(true);
    values.user = FtpServerFixture::readerUser();
    values.password = FtpServerFixture::readerPassword();
    QVERIFY(session.openConnection(values));
    QVERIFY(!session.ftpCreateDir(QStringLiteral("new")));
    QVERIFY(!session.ftpDelete(QStringLiteral("keep.txt")));
    QVERIFY(!session.ftpRename(QStringLiteral("keep.txt"), QStringLiteral("gone.txt")));
    QVERIFY(!session.ftpOpenForUpload(QStringLiteral("up.txt"), TransferFlag::Binary));
    QVERIFY(session.lastError().contains(QLatin1String("550")));
    QVERIFY(session.ftpGet(localPath(QStringLiteral("keep.txt")), QStringLiteral("keep.txt")));
    QCOMPARE(readFile(rootPath(QStringLiteral("keep.txt"))), QByteArray("keep"));
    QVERIFY(!QFile::exists(rootPath(QStringLiteral("up.txt"))));
}

void FtpSessionTest::listing_data()
{
    QTest::addColumn<bool>("passive");
    QTest::addColumn<bool>("mlsd");
    QTest::newRow("LIST passive") << true << false;
    QTest::newRow("LIST active") << false << false;
    QTest::newRow("MLSD passive") << true << true;
    QTest::newRow("MLSD active") << false << true;
}

void FtpSessionTest::listing()
{
    QFETCH(bool, passive);
    QFETCH(bool, mlsd);
    FtpServerFixture::Options options;
    options.advertiseMlsd = mlsd;
    QVERIFY2(restartServer(options), qPrintable(m_server->errorText()));
    QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("folder one")));
    writeFile(rootPath(QStringLiteral(" lead")), "1");
    writeFile(rootPath(QStringLiteral("trail ")), "22");
    writeFile(rootPath(QStringLiteral("in  ner")), "333");
    writeFile(rootPath(QStringLiteral("Grüße.txt")), "4444");
    writeFile(rootPath(QStringLiteral("big.bin")), QByteArray(70000, 'b'));
    QVERIFY(QFile::link(QStringLiteral("folder one/"), rootPath(QStringLiteral("link"))));

    FtpSession session;
    QVERIFY(connect(session, passive));
    const auto entries = session.ftpList();
    QVERIFY2(entries, qPrintable(session.lastError()));
    QMap<QString, RemoteEntry> byName;
    for (const RemoteEntry& entry : *entries)
        byName.insert(entry.name, entry);
    QCOMPARE(byName.keys(), (QStringList{QStringLiteral(" lead"), QStringLiteral("Grüße.txt"), QStringLiteral("big.bin"),
                                         QStringLiteral("folder one"), QStringLiteral("in  ner"), QStringLiteral("link"),
                                         QStringLiteral("trail ")}));
    QVERIFY(byName[QStringLiteral("folder one")].isDirectory);
    QCOMPARE(byName[QStringLiteral("folder one")].attributes, 16u);
    QCOMPARE(byName[QStringLiteral("big.bin")].size, 70000);
    QCOMPARE(byName[QStringLiteral("big.bin")].attributes, 128u);
    QCOMPARE(byName[QStringLiteral("Grüße.txt")].size, 4);
    QCOMPARE(byName[QStringLiteral("Grüße.txt")].rawName(), QStringLiteral("Grüße.txt").toUtf8());
    QVERIFY(byName[QStringLiteral("big.bin")].lastWrite.isValid());
    // The link to a folder can be entered: LIST says so by the target's "/", MLSD by type=dir.
    QVERIFY(byName[QStringLiteral("link")].isDirectory);
    QVERIFY(session.ftpSetDir(byName[QStringLiteral("link")].name));
    QVERIFY(m_transcript.contains(mlsd ? QStringLiteral("> MLSD") : QStringLiteral("> LIST")));
    for (const QString& name : byName.keys()) {
        QVERIFY(session.ftpSetDir(QStringLiteral("/")));
        if (byName[name].isDirectory)
            continue;
        QVERIFY2(session.ftpGet(localPath(QStringLiteral("copy")), name), qPrintable(name));
        QCOMPARE(readFile(localPath(QStringLiteral("copy"))), readFile(rootPath(name)));
    }
}

void FtpSessionTest::largeFileRoundTrip_data()
{
    addModeColumn();
}

void FtpSessionTest::largeFileRoundTrip()
{
    QFETCH(bool, passive);
    writeFile(rootPath(QStringLiteral("large.bin")), m_largeFile);
    FtpSession session;
    QVERIFY(connect(session, passive));
    qint64 progressCalls = 0;
    qint64 reportedTotal = 0;
    QVERIFY2(session.ftpGet(localPath(QStringLiteral("large.bin")), QStringLiteral("large.bin"),
                            [&](qint64, qint64 total) {
                                ++progressCalls;
                                reportedTotal = total;
                            }),
             qPrintable(session.lastError()));
    QVERIFY(readFile(localPath(QStringLiteral("large.bin"))) == m_largeFile);
    QVERIFY(progressCalls > 1);
    QCOMPARE(reportedTotal, m_largeFile.size());

    // Up again in the 255-byte pieces the upload uses.
    auto upload = session.ftpOpenForUpload(QStringLiteral("back.bin"), TransferFlag::Binary);
    QVERIFY2(upload, qPrintable(session.lastError()));
    constexpr qint64 piece = 255;
    for (qint64 at = 0; at < m_largeFile.size(); at += piece)
        QVERIFY(upload->write(m_largeFile.constData() + at, std::min(piece, m_largeFile.size() - at)));
    QVERIFY(upload->write(nullptr, 0));
    QVERIFY2(upload->close(), qPrintable(session.lastError()));
    QVERIFY(readFile(rootPath(QStringLiteral("back.bin"))) == m_largeFile);
}

void FtpSessionTest::asciiUploadSendsCrLf_data()
{
    QTest::addColumn<QByteArray>("local");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<QByteArray>("onTheWire");
    QTest::newRow("bare line feeds") << QByteArray("a\nb\nc") << 255 << QByteArray("a\r\nb\r\nc");
    QTest::newRow("CR LF stays") << QByteArray("a\r\nb\n") << 255 << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR LF split between pieces") << QByteArray("a\r\nb\r\n") << 2 << QByteArray("a\r\nb\r\n");
    QTest::newRow("empty lines") << QByteArray("\n\n") << 1 << QByteArray("\r\n\r\n");
    QByteArray many;
    QByteArray manyOnWire;
    for (int i = 0; i < 2000; ++i) {
        many += "line " + QByteArray::number(i) + '\n';
        manyOnWire += "line " + QByteArray::number(i) + "\r\n";
    }
    QTest::newRow("many lines in 255-byte pieces") << many << 255 << manyOnWire;
}

void FtpSessionTest::asciiUploadSendsCrLf()
{
    QFETCH(QByteArray, local);
    QFETCH(int, pieceSize);
    QFETCH(QByteArray, onTheWire);
    FtpServerFixture::Options options;
    options.rawAscii = true;
    QVERIFY2(restartServer(options), qPrintable(m_server->errorText()));
    FtpSession session;
    QVERIFY(connect(session, true));
    auto upload = session.ftpOpenForUpload(QStringLiteral("text.txt"), TransferFlag::Ascii);
    QVERIFY2(upload, qPrintable(session.lastError()));
    for (qsizetype at = 0; at < local.size(); at += pieceSize)
        QVERIFY(upload->write(local.constData() + at, std::min<qsizetype>(pieceSize, local.size() - at)));
    QVERIFY(upload->close());
    QVERIFY(m_transcript.contains(QStringLiteral("> TYPE A")));
    QCOMPARE(readFile(rootPath(QStringLiteral("text.txt"))), onTheWire);
}

void FtpSessionTest::namesThatAreNotUtf8RoundTrip_data()
{
    QTest::addColumn<bool>("mlsd");
    QTest::newRow("LIST") << false;
    QTest::newRow("MLSD") << true;
}

void FtpSessionTest::namesThatAreNotUtf8RoundTrip()
{
    QFETCH(bool, mlsd);
    FtpServerFixture::Options options;
    options.advertiseMlsd = mlsd;
    QVERIFY2(restartServer(options), qPrintable(m_server->errorText()));
    const QByteArray rawName("caf\xe9 \xff.txt");
    const QByteArray rootBytes = QFile::encodeName(m_root->path()) + '/';
    {
        const QByteArray path = rootBytes + rawName;
        FILE* file = std::fopen(path.constData(), "wb");
        QVERIFY(file);
        std::fputs("latin", file);
        std::fclose(file);
    }
    FtpSession session;
    QVERIFY(connect(session, true));
    const auto entries = session.ftpList();
    QVERIFY(entries);
    QCOMPARE(entries->size(), 1);
    const RemoteEntry entry = entries->first();
    QCOMPARE(entry.rawName(), rawName);
    QVERIFY(entry.name.startsWith(QLatin1String("caf")));
    QVERIFY(session.ftpGet(localPath(QStringLiteral("copy")), entry.name));
    QCOMPARE(readFile(localPath(QStringLiteral("copy"))), QByteArray("latin"));
    QVERIFY(session.ftpRename(entry.name, entry.name + QStringLiteral(".bak")));
    const QByteArray renamed = rootBytes + rawName + ".bak";
    QCOMPARE(::access(renamed.constData(), F_OK), 0);
    ::unlink(renamed.constData()); // QTemporaryDir cannot name it
}

void FtpSessionTest::namesWithLineBreaksAreRefused()
{
    writeFile(rootPath(QStringLiteral("victim.txt")), "x");
    FtpSession session;
    QVERIFY(connect(session, true));
    m_transcript.clear();
    QVERIFY(!session.ftpCreateDir(QStringLiteral("a\r\nDELE victim.txt")));
    QVERIFY(!session.ftpDelete(QStringLiteral("x\nDELE victim.txt")));
    QVERIFY(!session.ftpSetDir(QStringLiteral("x\rCWD /")));
    QVERIFY(!session.ftpGet(localPath(QStringLiteral("x")), QStringLiteral("a\nDELE victim.txt")));
    QVERIFY(!session.ftpOpenForUpload(QStringLiteral("a\r\nDELE victim.txt"), TransferFlag::Binary));
    QVERIFY(!session.ftpCreateDir(QStringLiteral("nul") + QChar(0) + QStringLiteral("byte")));
    QVERIFY(session.lastError().contains(QLatin1String("refused")));
    // Nothing went out, and the connection is as good as before.
    for (const QString& line : std::as_const(m_transcript))
        QVERIFY2(!line.startsWith(QLatin1String("> ")), qPrintable(line));
    QVERIFY(QFile::exists(rootPath(QStringLiteral("victim.txt"))));
    QCOMPARE(session.ftpCurrentDir(), QStringLiteral("/"));
}

void FtpSessionTest::dataConnectionVariants_data()
{
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("noExtendedModes");
    QTest::addColumn<QString>("dataCommand"); // once for the download, once for the listing
    QTest::addColumn<QString>("refusedCommand"); // tried once, then remembered; empty: none refused
    const QString v4 = QStringLiteral("127.0.0.1");
    const QString v6 = QStringLiteral("::1");
    QTest::newRow("PASV when EPSV is refused") << true << v4 << true << QStringLiteral("> PASV") << QStringLiteral("> EPSV");
    QTest::newRow("PORT when EPRT is refused") << false << v4 << true << QStringLiteral("> PORT ") << QStringLiteral("> EPRT");
    QTest::newRow("IPv6 passive") << true << v6 << false << QStringLiteral("> EPSV") << QString();
    QTest::newRow("IPv6 active") << false << v6 << false << QStringLiteral("> EPRT |2|::1|") << QString();
}

void FtpSessionTest::dataConnectionVariants()
{
    QFETCH(bool, passive);
    QFETCH(QString, host);
    QFETCH(bool, noExtendedModes);
    QFETCH(QString, dataCommand);
    QFETCH(QString, refusedCommand);
    FtpServerFixture::Options options;
    options.host = host;
    options.noExtendedModes = noExtendedModes;
    if (!restartServer(options)) {
        if (host == QLatin1String("::1"))
            QSKIP("no IPv6 loopback here");
        QFAIL(qPrintable(m_server->errorText()));
    }
    writeFile(rootPath(QStringLiteral("f.txt")), "variant");
    FtpSession session;
    QVERIFY2(connect(session, passive), qPrintable(session.lastError()));
    QVERIFY2(session.ftpGet(localPath(QStringLiteral("f.txt")), QStringLiteral("f.txt")), qPrintable(session.lastError()));
    QCOMPARE(readFile(localPath(QStringLiteral("f.txt"))), QByteArray("variant"));
    QVERIFY(session.ftpList());
    QCOMPARE(m_transcript.filter(dataCommand).size(), 2);
    if (!refusedCommand.isEmpty())
        QCOMPARE(m_transcript.filter(refusedCommand).size(), 1);
}

void FtpSessionTest::activeModeTurnsAwayOtherAddresses()
{
    writeFile(rootPath(QStringLiteral("data.bin")), QByteArray(100000, 'd'));
    int intruder = -1;
    FtpSession session;
    session.setTranscript([&intruder](const QString& line) {
        // As soon as the port is announced, someone else on another address connects to it.
        if (!line.startsWith(QLatin1String("> EPRT |1|127.0.0.1|")) || intruder >= 0)
            return;
        const quint16 port = static_cast<quint16>(line.section(QLatin1Char('|'), 3, 3).toUInt());
        intruder = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7F000002); // 127.0.0.2
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(intruder, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0
            || ::connect(intruder, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
            qWarning("intruder could not connect: %s", std::strerror(errno));
    });
    QVERIFY(session.openConnection(settings(false)));
    QVERIFY2(session.ftpGet(localPath(QStringLiteral("data.bin")), QStringLiteral("data.bin")), qPrintable(session.lastError()));
    QVERIFY(intruder >= 0);
    QCOMPARE(readFile(localPath(QStringLiteral("data.bin"))), QByteArray(100000, 'd'));
    // The intruder was hung up on without a byte.
    char byte = 0;
    const ssize_t got = ::recv(intruder, &byte, 1, 0);
    QVERIFY(got <= 0);
    ::close(intruder);
}

void FtpSessionTest::droppedConnectionIsNoticed()
{
    FtpServerFixture::Options options;
    options.dropAfterCommands = 5;
    QVERIFY2(restartServer(options), qPrintable(m_server->errorText()));
    FtpSession session;
    QVERIFY(connect(session, true));
    QString folder = QStringLiteral("/");
    for (int i = 0; i < 3 && !folder.isEmpty(); ++i)
        folder = session.ftpCurrentDir();
    QVERIFY(folder.isEmpty());
    QVERIFY(!session.isConnected());
    QVERIFY(!session.lastError().isEmpty());
    QVERIFY(!session.ftpList().has_value());
}

void FtpSessionTest::openUploadHoldsOtherCommandsOff()
{
    FtpSession session;
    QVERIFY(connect(session, true));
    auto upload = session.ftpOpenForUpload(QStringLiteral("open.txt"), TransferFlag::Binary);
    QVERIFY(upload);
    QVERIFY(upload->write("abc", 3));
    QVERIFY(session.ftpCurrentDir().isEmpty());
    QVERIFY(session.lastError().contains(QLatin1String("transfer")));
    QVERIFY(upload->close());
    QVERIFY(!upload->write("more", 4)); // closed
    QCOMPARE(session.ftpCurrentDir(), QStringLiteral("/"));
    QCOMPARE(readFile(rootPath(QStringLiteral("open.txt"))), QByteArray("abc"));
}

void FtpSessionTest::abandonedUploadIsBrokenOff()
{
    FtpSession session;
    QVERIFY(connect(session, true));
    {
        auto upload = session.ftpOpenForUpload(QStringLiteral("partial.bin"), TransferFlag::Binary);
        QVERIFY(upload);
        QVERIFY(upload->write(m_largeFile.constData(), 1024 * 1024));
        // Gone without close(), as when the local file could not be read to its end.
    }
    // The server's answer to the reset is read (pyftpdlib takes the part for the whole and says
    // 226; sometimes it says nothing, and then the connection goes): either way the next command
    // gets its own reply.
    QVERIFY(!session.isConnected() || session.ftpCurrentDir() == QStringLiteral("/"));
    QVERIFY(!m_transcript.filter(QStringLiteral("[Finishing] ->")).isEmpty());
}

void FtpSessionTest::hostileNamesAreListedAsSent()
{
    FtpServerFixture::Options options;
    options.hostileNames = true;
    QVERIFY2(restartServer(options), qPrintable(m_server->errorText()));
    FtpSession session;
    QVERIFY(connect(session, true));
    const auto entries = session.ftpList();
    QVERIFY(entries);
    QStringList names;
    for (const RemoteEntry& entry : *entries)
        names.append(entry.name);
    // The engine reports what the server said; keeping such names off the local disk is the
    // callers' rule.
    QCOMPARE(names, (QStringList{QStringLiteral("../evil"), QStringLiteral("a/b")}));
}

QTEST_GUILESS_MAIN(FtpSessionTest)
#include "tst_ftpsession.moc"
