#include "JobHarness.h"
#include "TestHelpers.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

#include <unistd.h>

namespace {

// The two lines of an item fetched, and of one that failed or was refused.
QStringList fetched(const QString& what)
{
    return {historyKey("black", "MDOWN_DOWNSTART", what), historyKey("green", "MDOWN_DOWNOK")};
}

QStringList refused(const QString& what)
{
    return {historyKey("black", "MDOWN_DOWNSTART", what), historyKey("red", "MDOWN_DOWNFAILED")};
}

QStringList created(const QString& localPath)
{
    return {historyLine("black", getText("MDOWN_FOLDNEW") + QLatin1Char(' ') + localPath + getText("MDOWN_AN")),
            historyKey("green", "MDOWN_CREATEOK")};
}

SelectedRow file(const char* name)
{
    return {QString::fromUtf8(name), false};
}

SelectedRow folder(const char* name)
{
    return {QString::fromUtf8(name), true};
}

} // namespace

class DownloadJobTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        useCatalogue("deutsch");
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

    void cleanup()
    {
        m_ftp.reset();
        m_server.reset();
        m_local.reset();
    }

    void filesFirstThenTheTree_data()
    {
        QTest::addColumn<bool>("passive");
        QTest::addColumn<bool>("twins"); // a local folder and file of the same names exist
        QTest::newRow("active, into local twins") << false << true;
        QTest::newRow("passive") << true << false;
    }

    void filesFirstThenTheTree()
    {
        QFETCH(bool, passive);
        QFETCH(bool, twins);
        // Names go as listed, blanks and all; the bytes arrive as they are, whatever line ends.
        const QByteArray text("beta\r\nbare LF\nbare CR\r");
        serverFile("pub/ b.txt ", text);
        serverFile("pub/b.txt", "the trimmed namesake");
        serverFile("pub/a.txt", "alpha");
        serverFile("a.txt", "the namesake in the root, where the server stands");
        serverFile("pub/ docs /x.txt", "x in docs");
        serverFile("pub/ docs /sub/y.txt", "y in sub");
        QVERIFY(QDir().mkpath(m_root + QStringLiteral("pub/ docs /empty")));
        if (twins) {
            QVERIFY(writeFile(m_target + QStringLiteral("pub/ docs /x.txt"), "old x, longer than the new one"));
            QVERIFY(writeFile(m_target + QStringLiteral("a.txt"), "old a"));
        }
        QVERIFY(startServer());

        // The folder row comes first in the list, yet the files of the current folder go first.
        const auto outcome =
            download(QStringLiteral("/pub"), {folder(" docs "), file(" b.txt "), file("a.txt")}, passive);

        QVERIFY(outcome.connected && outcome.finished);
        // A local twin of a folder gets no lines, its missing subfolders do.
        QCOMPARE(outcome.lines,
                 fetched(QStringLiteral(" b.txt ")) + fetched(QStringLiteral("a.txt"))
                     + (twins ? QStringList() : created(m_target + QStringLiteral("pub/ docs ")))
                     + created(m_target + QStringLiteral("pub/ docs /empty"))
                     + created(m_target + QStringLiteral("pub/ docs /sub"))
                     + fetched(QStringLiteral("/pub/ docs /x.txt")) + fetched(QStringLiteral("/pub/ docs /sub/y.txt")));
        QCOMPARE(outcome.argumentsOf("RETR"), strings({" b.txt ", "a.txt", "x.txt", "y.txt"}));
        QVERIFY(outcome.commands.contains(QStringLiteral("TYPE I")));
        QCOMPARE(localFile(" b.txt "), text);
        QCOMPARE(localFile("a.txt"), QByteArray("alpha"));
        QCOMPARE(localFile("pub/ docs /x.txt"), QByteArray("x in docs"));
        QCOMPARE(localFile("pub/ docs /sub/y.txt"), QByteArray("y in sub"));
        QVERIFY(QFileInfo(m_target + QStringLiteral("pub/ docs /empty")).isDir());
        QVERIFY(!QFile::exists(m_target + QStringLiteral("b.txt")));

        QCOMPARE(outcome.download.targetFolder, m_target);
        QCOMPARE(outcome.download.filesFetched, 4);
        const QList<QPair<qint64, qint64>> progress{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}};
        QCOMPARE(outcome.progress, progress);
        QVERIFY(outcome.messages.isEmpty());
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/pub"));
        // The connection works, so it is the only one; the folder comes from the request, not PWD
        // (the one PWD is the harness's).
        QCOMPARE(outcome.commands.count(QStringLiteral("USER tester")), 1);
        QCOMPARE(outcome.commands.filter(QRegularExpression(QStringLiteral("^(PWD|NOOP)"))).size(), 1);
        // Between two files of one folder, only what the transfer needs: EPSV or EPRT.
        QCOMPARE(outcome.commands.at(outcome.commands.indexOf(QStringLiteral("RETR  b.txt ")) + 2),
                 QStringLiteral("RETR a.txt"));
    }

    void nothingToDo()
    {
        serverFile("pub/a.txt", "alpha");
        QVERIFY(startServer());

        // ".." alone: nothing is fetched or written; the GUI still shows the target.
        const auto parentOnly = download(QStringLiteral("/pub"), {folder("..")});
        QVERIFY(parentOnly.connected);
        QVERIFY(parentOnly.lines.isEmpty());
        QVERIFY(parentOnly.argumentsOf("RETR").isEmpty());
        QCOMPARE(parentOnly.download.targetFolder, m_target);

        // Without a connection neither.
        const auto unconnected = download(QString(), {file("a.txt"), folder("docs")});
        QVERIFY(unconnected.lines.isEmpty());
        QVERIFY(unconnected.commands.isEmpty());
        QCOMPARE(unconnected.download.targetFolder, m_target);
        QCOMPARE(QDir(m_target).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    void brokenTransferLeavesTheOldFile()
    {
        const QByteArray large(256 * 1024, 'n');
        serverFile("a.txt", "alpha");
        serverFile("broken.bin", large);
        serverFile("c.txt", "gamma");
        serverFile("tree/broken.bin", large);
        serverFile("tree/z.txt", "zeta");
        QVERIFY(writeFile(m_target + QStringLiteral("broken.bin"), "the old local file"));
        QVERIFY(writeFile(m_target + QStringLiteral("tree/broken.bin"), "the old file in the tree"));
        FtpServerFixture::Options options;
        options.brokenRetrName = QStringLiteral("broken.bin");
        QVERIFY(startServer(options));

        const auto outcome =
            download(QStringLiteral("/"), {file("a.txt"), file("broken.bin"), file("c.txt"), folder("tree")});

        QCOMPARE(outcome.lines, fetched(QStringLiteral("a.txt")) + refused(QStringLiteral("broken.bin"))
                                    + fetched(QStringLiteral("c.txt")) + refused(QStringLiteral("/tree/broken.bin"))
                                    + fetched(QStringLiteral("/tree/z.txt")));
        QCOMPARE(localFile("broken.bin"), QByteArray("the old local file"));
        QCOMPARE(localFile("tree/broken.bin"), QByteArray("the old file in the tree"));
        QCOMPARE(localFile("c.txt"), QByteArray("gamma"));
        QCOMPARE(localFile("tree/z.txt"), QByteArray("zeta"));
        // Nothing half-written is left beside them.
        const QDir::Filters all = QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden;
        QCOMPARE(QDir(m_target).entryList(all, QDir::Name), strings({"a.txt", "broken.bin", "c.txt", "tree"}));
        QCOMPARE(QDir(m_target + QStringLiteral("tree")).entryList(all, QDir::Name), strings({"broken.bin", "z.txt"}));
        QCOMPARE(outcome.download.filesFetched, 3);
        QCOMPARE(outcome.download.filesFailed, 2);
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/"));
    }

    void failedFolderChangeFetchesNothingElsewhere()
    {
        // A same-named file in the root, where a failed change of folder would leave the server.
        serverFile("x.txt", "the wrong x");
        serverFile("pub/gone/x.txt", "x");
        serverFile("pub/gone/docs/y.txt", "y");
        QVERIFY(startServer());

        // The folder the user is in disappears before the download starts.
        const auto outcome = download(QStringLiteral("/pub/gone"), {folder("docs"), file("x.txt")}, true, [this] {
            QVERIFY(QDir(m_root + QStringLiteral("pub/gone")).removeRecursively());
        });

        QVERIFY(outcome.connected);
        QCOMPARE(outcome.lines, refused(QStringLiteral("x.txt")) + refused(QStringLiteral("/pub/gone/docs/")));
        QVERIFY(outcome.argumentsOf("RETR").isEmpty());
        QCOMPARE(QDir(m_target).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        QCOMPARE(outcome.download.filesFailed, 1);
        QCOMPARE(outcome.download.foldersFailed, 1);
    }

    void lostConnection_data()
    {
        QTest::addColumn<int>("dropAfterCommands"); // for every connection; 0: none is dropped
        QTest::addColumn<bool>("rightPassword");     // in the values the download started with
        QTest::addColumn<bool>("completes");
        QTest::newRow("kept while it works, whatever the values") << 0 << false << true;
        QTest::newRow("lost and made again") << 12 << true << true;
        QTest::newRow("lost for good") << 12 << false << false;
    }

    void lostConnection()
    {
        QFETCH(int, dropAfterCommands);
        QFETCH(bool, rightPassword);
        QFETCH(bool, completes);
        serverFile("pub/a.txt", "alpha");
        QList<SelectedRow> rows{file("a.txt")};
        for (const char* name : {"d1", "d2", "d3", "d4", "d5"}) {
            serverFile(QByteArray("pub/") + name + "/x.txt", QByteArray("x in ") + name);
            rows.append(folder(name));
        }
        FtpServerFixture::Options options;
        options.dropAfterCommands = dropAfterCommands;
        QVERIFY(startServer(options));
        ConnectionSettings settings = settingsOf(*m_ftp);
        if (!rightPassword)
            settings.password = QStringLiteral("wrong");
        const auto outcome = download(QStringLiteral("/pub"), rows, true, {}, settings);

        QVERIFY(outcome.connected);
        const int logins = static_cast<int>(outcome.commands.count(QStringLiteral("USER tester")));
        if (completes) {
            QVERIFY(outcome.messages.isEmpty());
            QCOMPARE(outcome.lines.filter(QStringLiteral("red\t")), QStringList());
            QCOMPARE(outcome.download.filesFetched, 6);
            for (const char* name : {"d1", "d2", "d3", "d4", "d5"})
                QCOMPARE(localFile(QByteArray("pub/") + name + "/x.txt"), QByteArray("x in ") + name);
            QVERIFY(dropAfterCommands == 0 ? logins == 1 : logins > 1);
            return;
        }
        // Lost while listing d2: one message, one line for the seven items known by then, the end.
        QCOMPARE(outcome.messages, QStringList{getText("MPUB_NOCONN1") + QLatin1Char('\n') + getText("MPUB_NOCONN2")
                                               + QLatin1Char('\n') + getText("MPUB_NOCONN3")});
        QCOMPARE(outcome.lines, QStringList{historyKey("red", "MDOWN_NOTDONE", QStringLiteral("7"))});
        QVERIFY(outcome.argumentsOf("RETR").isEmpty());
        QCOMPARE(logins, 2);
    }

    void namesThatCannotBeLocalNamesAreRefused()
    {
        serverFile("pub/docs/ok.txt", "ok");
        serverFile("pub/a.txt", "alpha");
        // Two names that differ only in bytes that are not UTF-8, a carriage return, a tab.
        const QList<QByteArray> rawNames{"caf\xe8.txt", "caf\xe9.txt", "cr\rname", "tab\tname"};
        for (const QByteArray& name : rawNames)
            serverFile("pub/docs/" + name, "never fetched");
        serverFile("evil", "must stay on the server");
        FtpServerFixture::Options options;
        options.hostileNames = true; // every listing also names "../evil" and "a/b"
        QVERIFY(startServer(options));

        // a.txt twice: the second one would replace the file the first one wrote.
        const auto outcome = download(
            QStringLiteral("/pub"),
            {file("../evil"), file("a/b"), file("."), folder("a/b"), folder("docs"), file("a.txt"), file("a.txt")});

        const auto escaped = [](const char* start, char16_t escape, const char* end) {
            return QString::fromUtf8(start) + QChar(escape) + QString::fromUtf8(end);
        };
        QCOMPARE(outcome.lines, refused(QStringLiteral("../evil")) + refused(QStringLiteral("a/b"))
                                    + refused(QStringLiteral(".")) + fetched(QStringLiteral("a.txt"))
                                    + refused(QStringLiteral("a.txt")) + refused(QStringLiteral("/pub/a/b/"))
                                    + created(m_target + QStringLiteral("pub/docs"))
                                    + refused(escaped("/pub/docs/caf", 0xDCE8, ".txt"))
                                    + refused(escaped("/pub/docs/caf", 0xDCE9, ".txt"))
                                    + refused(QStringLiteral("/pub/docs/cr\rname"))
                                    + fetched(QStringLiteral("/pub/docs/ok.txt"))
                                    + refused(QStringLiteral("/pub/docs/tab\tname"))
                                    + refused(QStringLiteral("/pub/docs/../evil"))
                                    + refused(QStringLiteral("/pub/docs/a/b")));
        QCOMPARE(outcome.argumentsOf("RETR"), strings({"a.txt", "ok.txt"}));
        QCOMPARE(localFile("pub/docs/ok.txt"), QByteArray("ok"));
        QCOMPARE(QDir(m_target + QStringLiteral("pub/docs")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 strings({"ok.txt"}));
        for (const char* outside : {"evil", "pub/evil", "a", "pub/a", "pub/docs/a", "../evil"})
            QVERIFY2(!QFile::exists(m_target + QString::fromLatin1(outside)), outside);
        for (const QByteArray& name : rawNames) // QTemporaryDir cannot name those that are not UTF-8
            ::unlink(QFile::encodeName(m_root + QStringLiteral("pub/docs/")) + name);
    }

    void walkSkipsFolderLinksAndStopsDeep()
    {
        serverFile("pub/docs/x.txt", "x");
        // A link back to its own folder: followed, it would never end.
        // The server lists it as "loop -> ../docs/", a link to a folder.
        QCOMPARE(::symlink("../docs/", QFile::encodeName(m_root + QStringLiteral("pub/docs/loop")).constData()), 0);
        QString deep = m_root + QStringLiteral("pub/deep/");
        for (int level = 0; level < DownloadJob::maxWalkDepth + 2; ++level)
            deep += QStringLiteral("d/");
        QVERIFY(writeFile(deep + QStringLiteral("bottom.txt"), "too deep"));
        QVERIFY(startServer());

        const auto outcome = download(QStringLiteral("/pub"), {folder("docs"), folder("deep")});

        // The two selected folders, then the walk of docs: the link reported and not followed, its file.
        QCOMPARE(outcome.lines.mid(0, 8), created(m_target + QStringLiteral("pub/docs"))
                                              + created(m_target + QStringLiteral("pub/deep"))
                                              + refused(QStringLiteral("/pub/docs/loop/"))
                                              + fetched(QStringLiteral("/pub/docs/x.txt")));
        QVERIFY(!QFileInfo::exists(m_target + QStringLiteral("pub/docs/loop")));

        // deep: the selected folder is level 1; the walk lists levels 1 to maxWalkDepth, and the
        // folder found on the last of them is refused.
        QString tooDeep = QStringLiteral("/pub/deep/");
        for (int level = 1; level < DownloadJob::maxWalkDepth + 1; ++level)
            tooDeep += QStringLiteral("d/");
        QCOMPARE(outcome.lines.mid(outcome.lines.size() - 2), refused(tooDeep));
        QVERIFY(QFileInfo(m_target + tooDeep.mid(1).chopped(2)).isDir());
        QVERIFY(!QFileInfo::exists(m_target + tooDeep.mid(1)));
        QCOMPARE(outcome.argumentsOf("RETR"), QStringList{QStringLiteral("x.txt")});
        QCOMPARE(outcome.download.foldersFailed, 2);
    }

private:
    bool startServer(const FtpServerFixture::Options& options = {})
    {
        m_ftp = std::make_unique<FtpServerFixture>(options);
        if (m_ftp->start(m_root) != 0)
            return true;
        qWarning("%s", qPrintable(m_ftp->errorText()));
        return false;
    }

    // Downloads rows of remoteFolder (empty: without a connection) into the target folder, with
    // settings for its re-connections (by default the ones it connected with).
    JobHarness::Outcome download(const QString& remoteFolder, const QList<SelectedRow>& rows, bool passive = true,
                                 const std::function<void()>& before = {},
                                 std::optional<ConnectionSettings> settings = {}) const
    {
        const ConnectionSettings connection = settingsOf(*m_ftp, passive);
        return JobHarness(connection).download({rows, remoteFolder, m_target, settings.value_or(connection)}, before);
    }

    // path as the server's file system holds it: bytes, which need not be UTF-8.
    void serverFile(const QByteArray& path, const QByteArray& content) const
    {
        const QByteArray full = QFile::encodeName(m_root) + path;
        QVERIFY(QDir().mkpath(QFile::decodeName(full.left(full.lastIndexOf('/')))));
        FILE* file = std::fopen(full.constData(), "wb");
        QVERIFY2(file, full.constData());
        std::fwrite(content.constData(), 1, static_cast<size_t>(content.size()), file);
        std::fclose(file);
    }

    QByteArray localFile(const QByteArray& path) const { return readFile(m_target + QString::fromUtf8(path)); }

    std::unique_ptr<QTemporaryDir> m_server;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<FtpServerFixture> m_ftp;
    QString m_root;
    QString m_target;
};

QTEST_GUILESS_MAIN(DownloadJobTest)
#include "tst_downloadjob.moc"
