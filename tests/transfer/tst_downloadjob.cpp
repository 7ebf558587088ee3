#include "DownloadHarness.h"
#include "FtpServerFixture.h"
#include "TextCatalogue.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString text(const char* key)
{
    return getText(key);
}

QString startOf(const QString& what)
{
    return QStringLiteral("black\t") + text("MDOWN_DOWNSTART") + QLatin1Char(' ') + what;
}

QString downloaded()
{
    return QStringLiteral("green\t") + text("MDOWN_DOWNOK");
}

QString failed()
{
    return QStringLiteral("red\t") + text("MDOWN_DOWNFAILED");
}

QStringList created(const QString& localPath)
{
    return {QStringLiteral("black\t") + text("MDOWN_FOLDNEW") + QLatin1Char(' ') + localPath + text("MDOWN_AN"),
            QStringLiteral("green\t") + text("MDOWN_CREATEOK")};
}

SelectedRow file(const char* name)
{
    return {QString::fromUtf8(name), false};
}

SelectedRow folder(const char* name)
{
    return {QString::fromUtf8(name), true};
}

QStringList retrieved(const QStringList& commands)
{
    QStringList result;
    for (const QString& command : commands) {
        if (command.startsWith(QLatin1String("RETR ")))
            result.append(command.mid(5));
    }
    return result;
}

} // namespace

class DownloadJobTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
        QVERIFY(TextCatalogue::instance().isOpen());
    }

    void init()
    {
        m_server = std::make_unique<QTemporaryDir>();
        m_local = std::make_unique<QTemporaryDir>();
        QVERIFY(m_server->isValid() && m_local->isValid());
        m_root = m_server->path() + QLatin1Char('/');
        m_target = m_local->path() + QLatin1Char('/');
    }

    void filesFirstThenTheTree_data()
    {
        QTest::addColumn<bool>("passive");
        QTest::newRow("active") << false;
        QTest::newRow("passive") << true;
    }

    void filesFirstThenTheTree()
    {
        QFETCH(bool, passive);
        writeFile(m_root + QStringLiteral("pub/a.txt"), "alpha");
        writeFile(m_root + QStringLiteral("pub/b.txt"), "beta");
        writeFile(m_root + QStringLiteral("pub/docs/x.txt"), "x in docs");
        writeFile(m_root + QStringLiteral("pub/docs/sub/y.txt"), "y in sub");
        QVERIFY(QDir().mkpath(m_root + QStringLiteral("pub/docs/empty")));
        FtpServerFixture server;
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));

        // The folder row comes first in the list, yet the files of the current folder go first.
        const auto outcome = harness(server, passive)
                                 .download(QStringLiteral("/pub"), {folder("docs"), file("b.txt"), file("a.txt")},
                                           m_target);

        QVERIFY(outcome.connected);
        QVERIFY(outcome.finished);
        QStringList expected{startOf(QStringLiteral("b.txt")), downloaded(), startOf(QStringLiteral("a.txt")),
                             downloaded()};
        expected << created(m_target + QStringLiteral("pub/docs"));
        expected << created(m_target + QStringLiteral("pub/docs/empty"));
        expected << created(m_target + QStringLiteral("pub/docs/sub"));
        expected << startOf(QStringLiteral("/pub/docs/x.txt")) << downloaded();
        expected << startOf(QStringLiteral("/pub/docs/sub/y.txt")) << downloaded();
        QCOMPARE(outcome.lines, expected);

        QCOMPARE(readFile(m_target + QStringLiteral("a.txt")), QByteArray("alpha"));
        QCOMPARE(readFile(m_target + QStringLiteral("b.txt")), QByteArray("beta"));
        QCOMPARE(readFile(m_target + QStringLiteral("pub/docs/x.txt")), QByteArray("x in docs"));
        QCOMPARE(readFile(m_target + QStringLiteral("pub/docs/sub/y.txt")), QByteArray("y in sub"));
        QVERIFY(QFileInfo(m_target + QStringLiteral("pub/docs/empty")).isDir());

        QCOMPARE(outcome.result.targetFolder, m_target);
        QCOMPARE(outcome.result.filesFetched, 4);
        QCOMPARE(outcome.result.filesFailed, 0);
        const QList<QPair<qint64, qint64>> progress{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}};
        QCOMPARE(outcome.progress, progress);
        QVERIFY(outcome.messages.isEmpty());
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/pub"));
        // One fresh connection for each folder listed: docs, empty and sub.
        QCOMPARE(outcome.commands.count(QStringLiteral("USER tester")), 1 + 3);
    }

    void existingFileAndFolderTwin()
    {
        writeFile(m_root + QStringLiteral("docs/x.txt"), "new x");
        writeFile(m_root + QStringLiteral("docs/sub/y.txt"), "new y");
        writeFile(m_root + QStringLiteral("top.txt"), "new top");
        writeFile(m_target + QStringLiteral("docs/x.txt"), "old x, longer than the new one");
        writeFile(m_target + QStringLiteral("top.txt"), "old top");
        FtpServerFixture server;
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));

        const auto outcome =
            harness(server).download(QStringLiteral("/"), {folder("docs"), file("top.txt")}, m_target);

        // The local twin of docs exists: no lines for it, only for the missing subfolder.
        QStringList expected{startOf(QStringLiteral("top.txt")), downloaded()};
        expected << created(m_target + QStringLiteral("docs/sub"));
        expected << startOf(QStringLiteral("/docs/x.txt")) << downloaded();
        expected << startOf(QStringLiteral("/docs/sub/y.txt")) << downloaded();
        QCOMPARE(outcome.lines, expected);
        QCOMPARE(readFile(m_target + QStringLiteral("top.txt")), QByteArray("new top"));
        QCOMPARE(readFile(m_target + QStringLiteral("docs/x.txt")), QByteArray("new x"));
        QCOMPARE(readFile(m_target + QStringLiteral("docs/sub/y.txt")), QByteArray("new y"));
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/"));
    }

    void nothingToDo()
    {
        writeFile(m_root + QStringLiteral("pub/a.txt"), "alpha");
        FtpServerFixture server;
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));

        // ".." alone: nothing is fetched or written; the GUI still shows the target.
        const auto parentOnly = harness(server).download(QStringLiteral("/pub"), {folder("..")}, m_target);
        QVERIFY(parentOnly.connected);
        QVERIFY(parentOnly.lines.isEmpty());
        QVERIFY(retrieved(parentOnly.commands).isEmpty());
        QCOMPARE(parentOnly.result.targetFolder, m_target);

        // Without a connection neither.
        const auto unconnected = harness(server).downloadUnconnected({file("a.txt"), folder("docs")}, m_target);
        QVERIFY(unconnected.lines.isEmpty());
        QVERIFY(unconnected.commands.isEmpty());
        QCOMPARE(unconnected.result.targetFolder, m_target);
        QCOMPARE(QDir(m_target).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    void textWithCrLfArrivesByteForByte()
    {
        QByteArray content;
        content.reserve(20 * 1024 * 1024 + 64);
        for (int line = 0; content.size() < 20 * 1024 * 1024; ++line)
            content += "line " + QByteArray::number(line) + " of a text with DOS line ends\r\n";
        content += "last line\r\nbare LF\nbare CR\r";
        writeFile(m_root + QStringLiteral("big.txt"), content);
        FtpServerFixture server;
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));

        const auto outcome = harness(server).download(QStringLiteral("/"), {file("big.txt")}, m_target);

        QCOMPARE(outcome.lines, QStringList({startOf(QStringLiteral("big.txt")), downloaded()}));
        const QByteArray arrived = readFile(m_target + QStringLiteral("big.txt"));
        QCOMPARE(arrived.size(), content.size());
        QCOMPARE(QCryptographicHash::hash(arrived, QCryptographicHash::Sha256),
                 QCryptographicHash::hash(content, QCryptographicHash::Sha256));
        QVERIFY(outcome.commands.contains(QStringLiteral("TYPE I")));
    }

    void blanksAroundANameAreKeptLocally()
    {
        writeFile(m_root + QStringLiteral("notes.txt"), "notes");
        FtpServerFixture server;
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));

        const auto outcome = harness(server).download(QStringLiteral("/"), {file("  notes.txt ")}, m_target);

        QCOMPARE(outcome.lines, QStringList({startOf(QStringLiteral("  notes.txt ")), downloaded()}));
        QCOMPARE(retrieved(outcome.commands), QStringList{QStringLiteral("notes.txt")});
        QCOMPARE(readFile(m_target + QStringLiteral("  notes.txt ")), QByteArray("notes"));
        QVERIFY(!QFile::exists(m_target + QStringLiteral("notes.txt")));
    }

    void brokenTransferLeavesTheOldFile()
    {
        const QByteArray large(256 * 1024, 'n');
        writeFile(m_root + QStringLiteral("a.txt"), "alpha");
        writeFile(m_root + QStringLiteral("broken.bin"), large);
        writeFile(m_root + QStringLiteral("c.txt"), "gamma");
        writeFile(m_root + QStringLiteral("tree/broken.bin"), large);
        writeFile(m_root + QStringLiteral("tree/z.txt"), "zeta");
        writeFile(m_target + QStringLiteral("broken.bin"), "the old local file");
        writeFile(m_target + QStringLiteral("tree/broken.bin"), "the old file in the tree");
        FtpServerFixture::Options options;
        options.brokenRetrName = QStringLiteral("broken.bin");
        FtpServerFixture server(options);
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));

        const auto outcome = harness(server).download(
            QStringLiteral("/"), {file("a.txt"), file("broken.bin"), file("c.txt"), folder("tree")}, m_target);

        const QStringList expected{startOf(QStringLiteral("a.txt")),           downloaded(),
                                   startOf(QStringLiteral("broken.bin")),      failed(),
                                   startOf(QStringLiteral("c.txt")),           downloaded(),
                                   startOf(QStringLiteral("/tree/broken.bin")), failed(),
                                   startOf(QStringLiteral("/tree/z.txt")),      downloaded()};
        QCOMPARE(outcome.lines, expected);
        QCOMPARE(readFile(m_target + QStringLiteral("broken.bin")), QByteArray("the old local file"));
        QCOMPARE(readFile(m_target + QStringLiteral("tree/broken.bin")), QByteArray("the old file in the tree"));
        QCOMPARE(readFile(m_target + QStringLiteral("c.txt")), QByteArray("gamma"));
        QCOMPARE(readFile(m_target + QStringLiteral("tree/z.txt")), QByteArray("zeta"));
        // Nothing half-written is left beside them.
        const auto names = [](const QString& path) {
            return QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden, QDir::Name);
        };
        QCOMPARE(names(m_target), QStringList({QStringLiteral("a.txt"), QStringLiteral("broken.bin"),
                                               QStringLiteral("c.txt"), QStringLiteral("tree")}));
        QCOMPARE(names(m_target + QStringLiteral("tree")),
                 QStringList({QStringLiteral("broken.bin"), QStringLiteral("z.txt")}));
        QCOMPARE(outcome.result.filesFetched, 3);
        QCOMPARE(outcome.result.filesFailed, 2);
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/"));
    }

    void failedFolderChangeFetchesNothingElsewhere()
    {
        // A same-named file in the root, where a failed change of folder would leave the server.
        writeFile(m_root + QStringLiteral("x.txt"), "the wrong x");
        writeFile(m_root + QStringLiteral("pub/gone/x.txt"), "x");
        writeFile(m_root + QStringLiteral("pub/gone/docs/y.txt"), "y");
        FtpServerFixture server;
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));

        // The folder the user is in disappears before the download starts.
        const auto outcome =
            harness(server).download(QStringLiteral("/pub/gone"), {folder("docs"), file("x.txt")}, m_target,
                                     [this] { QVERIFY(QDir(m_root + QStringLiteral("pub/gone")).removeRecursively()); });

        QVERIFY(outcome.connected);
        QStringList expected{startOf(QStringLiteral("x.txt")), failed()};
        expected << created(m_target + QStringLiteral("pub/gone/docs"));
        expected << startOf(QStringLiteral("/pub/gone/docs/")) << failed();
        QCOMPARE(outcome.lines, expected);
        QVERIFY(retrieved(outcome.commands).isEmpty());
        QVERIFY(!QFile::exists(m_target + QStringLiteral("x.txt")));
        QCOMPARE(outcome.result.filesFailed, 1);
        QCOMPARE(outcome.result.foldersFailed, 1);
    }

    void failedReconnectionIsReported()
    {
        writeFile(m_root + QStringLiteral("pub/a.txt"), "alpha");
        writeFile(m_root + QStringLiteral("pub/docs/x.txt"), "x");
        FtpServerFixture server;
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));
        // The values the download started with are the ones it re-connects with, and they fail.
        DownloadHarness downloader = harness(server);
        ConnectionSettings wrong{server.host(), server.portText(), FtpServerFixture::user(),
                                 QStringLiteral("not the password"), true};
        downloader.setDownloadSettings(wrong);

        const auto outcome = downloader.download(QStringLiteral("/pub"), {file("a.txt"), folder("docs")}, m_target);

        QVERIFY(outcome.connected);
        QCOMPARE(outcome.messages.size(), 1);
        QCOMPARE(outcome.messages.first(), text("MPUB_NOCONN1") + QLatin1Char('\n') + text("MPUB_NOCONN2")
                                               + QLatin1Char('\n') + text("MPUB_NOCONN3"));
        QStringList expected{startOf(QStringLiteral("a.txt")), failed()};
        expected << created(m_target + QStringLiteral("pub/docs"));
        expected << startOf(QStringLiteral("/pub/docs/")) << failed();
        QCOMPARE(outcome.lines, expected);
        QVERIFY(retrieved(outcome.commands).isEmpty());
    }

    void hostileNamesAreRefused()
    {
        writeFile(m_root + QStringLiteral("pub/docs/ok.txt"), "ok");
        writeFile(m_root + QStringLiteral("evil"), "must stay on the server");
        FtpServerFixture::Options options;
        options.hostileNames = true; // every listing also names "../evil" and "a/b"
        FtpServerFixture server(options);
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));

        const auto outcome = harness(server).download(
            QStringLiteral("/pub"), {file("../evil"), file("a/b"), file("."), folder("a/b"), folder("docs")},
            m_target);

        QStringList expected{startOf(QStringLiteral("../evil")), failed(), startOf(QStringLiteral("a/b")), failed(),
                             startOf(QStringLiteral(".")),       failed()};
        expected << startOf(QStringLiteral("/pub/a/b/")) << failed();
        expected << created(m_target + QStringLiteral("pub/docs"));
        expected << startOf(QStringLiteral("/pub/docs/ok.txt")) << downloaded();
        expected << startOf(QStringLiteral("/pub/docs/../evil")) << failed();
        expected << startOf(QStringLiteral("/pub/docs/a/b")) << failed();
        QCOMPARE(outcome.lines, expected);
        QCOMPARE(retrieved(outcome.commands), QStringList{QStringLiteral("ok.txt")});
        QCOMPARE(readFile(m_target + QStringLiteral("pub/docs/ok.txt")), QByteArray("ok"));
        QVERIFY(!QFile::exists(m_target + QStringLiteral("evil")));
        QVERIFY(!QFile::exists(m_target + QStringLiteral("pub/evil")));
        QVERIFY(!QFile::exists(m_target + QStringLiteral("a")));
        QVERIFY(!QFile::exists(m_target + QStringLiteral("pub/a")));
        QVERIFY(!QFile::exists(m_target + QStringLiteral("pub/docs/a")));
        QVERIFY(!QFile::exists(m_local->path() + QStringLiteral("/../evil")));
    }

    void walkSkipsFolderLinksAndStopsDeep()
    {
        writeFile(m_root + QStringLiteral("pub/docs/x.txt"), "x");
        // A link back to its own folder: followed, it would never end.
        // The server lists it as "loop -> ../docs/", a link to a folder.
        QCOMPARE(::symlink("../docs/", QFile::encodeName(m_root + QStringLiteral("pub/docs/loop")).constData()), 0);
        QString deep = m_root + QStringLiteral("pub/deep/");
        for (int level = 0; level < DownloadJob::maxWalkDepth + 2; ++level)
            deep += QStringLiteral("d/");
        writeFile(deep + QStringLiteral("bottom.txt"), "too deep");
        FtpServerFixture server;
        QVERIFY2(server.start(m_root), qPrintable(server.errorText()));

        const auto outcome = harness(server).download(QStringLiteral("/pub"), {folder("docs"), folder("deep")}, m_target);

        // The two selected folders, then the walk of docs: the link reported and not followed, its file.
        const QStringList docsLines = outcome.lines.mid(0, 8);
        QStringList expectedDocs = created(m_target + QStringLiteral("pub/docs"));
        expectedDocs << created(m_target + QStringLiteral("pub/deep"));
        expectedDocs << startOf(QStringLiteral("/pub/docs/loop/")) << failed();
        expectedDocs << startOf(QStringLiteral("/pub/docs/x.txt")) << downloaded();
        QCOMPARE(docsLines, expectedDocs);
        QVERIFY(!QFileInfo::exists(m_target + QStringLiteral("pub/docs/loop")));

        // deep: the selected folder is level 1; the walk lists levels 1 to maxWalkDepth, and the
        // folder found on the last of them is refused.
        QString refused = QStringLiteral("/pub/deep/");
        for (int level = 1; level < DownloadJob::maxWalkDepth + 1; ++level)
            refused += QStringLiteral("d/");
        QCOMPARE(outcome.lines.mid(outcome.lines.size() - 2), QStringList({startOf(refused), failed()}));
        QVERIFY(QFileInfo(m_target + refused.mid(1).chopped(2)).isDir());
        QVERIFY(!QFileInfo::exists(m_target + refused.mid(1)));
        QCOMPARE(retrieved(outcome.commands), QStringList{QStringLiteral("x.txt")});
        QCOMPARE(outcome.result.foldersFailed, 2);
    }

    void cleanup()
    {
        m_server.reset();
        m_local.reset();
    }

private:
    static DownloadHarness harness(const FtpServerFixture& server, bool passive = true)
    {
        return DownloadHarness(ConnectionSettings{server.host(), server.portText(), FtpServerFixture::user(),
                                                  FtpServerFixture::password(), passive});
    }

    std::unique_ptr<QTemporaryDir> m_server;
    std::unique_ptr<QTemporaryDir> m_local;
    QString m_root;
    QString m_target;
};

QTEST_GUILESS_MAIN(DownloadJobTest)
#include "tst_downloadjob.moc"
