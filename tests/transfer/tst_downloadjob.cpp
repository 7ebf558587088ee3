#include "JobHarness.h"
#include "TestHelpers.h"

#include <QRegularExpression>

#include <cstdio>
#include <optional>

#include <unistd.h>

namespace {

// The two lines of an item fetched, and of one that failed or was refused.
QStringList fetched(QStringView what)
{
    return {historyKey("black", "MDOWN_DOWNSTART", what.toString()), historyKey("green", "MDOWN_DOWNOK")};
}

QStringList refused(QStringView what)
{
    return {historyKey("black", "MDOWN_DOWNSTART", what.toString()), historyKey("red", "MDOWN_DOWNFAILED")};
}

QStringList created(const QString& localPath)
{
    return {historyLine("black", getText("MDOWN_FOLDNEW") + QLatin1Char(' ') + localPath + getText("MDOWN_AN")),
            historyKey("green", "MDOWN_CREATEOK")};
}

} // namespace

// Downloads of files and walked folder trees from pyftpdlib: the order, the lines, what arrives,
// and what is refused or fails without touching anything else.
class DownloadJobTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_jobs = std::make_unique<JobHarness>();
        m_retry = {2, 0};
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
        // Names go as listed, blanks and all; the bytes arrive as they are (binary), whatever line ends.
        const QByteArray text("beta\r\nbare LF\nbare CR\r");
        serverFile("pub/ b.txt ", text);
        serverFile("pub/b.txt", "the trimmed namesake");
        serverFile("pub/a.txt", "alpha");
        serverFile("a.txt", "the namesake in the root, where the server stands");
        serverFile("pub/ docs /x.txt", "x in docs");
        serverFile("pub/ docs /sub/y.txt", "y in sub");
        QVERIFY(QDir().mkpath(m_jobs->remote + QStringLiteral("pub/ docs /empty")));
        if (twins) {
            QVERIFY(writeFile(m_jobs->local + QStringLiteral("pub/ docs /x.txt"), "old x, longer than the new one"));
            QVERIFY(writeFile(m_jobs->local + QStringLiteral("a.txt"), "old a"));
        }
        QVERIFY(m_jobs->startServer());

        // The folder row comes first in the list, yet the files of the current folder go first;
        // ".." is passed over.
        const auto outcome = download("/pub", {"../", " docs /", " b.txt ", "a.txt"}, passive);

        QVERIFY(outcome.finished);
        // A local twin of a folder gets no lines, its missing subfolders do.
        const QString docs = m_jobs->local + QStringLiteral("pub/ docs ");
        QCOMPARE(outcome.lines, fetched(u" b.txt ") + fetched(u"a.txt") + (twins ? QStringList() : created(docs))
                                    + created(docs + QStringLiteral("/empty")) + created(docs + QStringLiteral("/sub"))
                                    + fetched(u"/pub/ docs /x.txt") + fetched(u"/pub/ docs /sub/y.txt"));
        QCOMPARE(outcome.argumentsOf("RETR"), strings({" b.txt ", "a.txt", "x.txt", "y.txt"}));
        QCOMPARE(m_jobs->localFiles({" b.txt ", "a.txt", "pub/ docs /x.txt", "pub/ docs /sub/y.txt", "b.txt"}),
                 QList<QByteArray>({text, "alpha", "x in docs", "y in sub", "<missing>"}));
        QVERIFY(QFileInfo(docs + QStringLiteral("/empty")).isDir());
        // One queue item per file and per folder to make, each folder before what is inside it,
        // with the sizes the rows (0 here) and the listings named.
        QCOMPARE(JobHarness::describe(outcome.download.items, m_jobs->local),
                 strings({"0  b.txt ", "0 a.txt", "folder pub/ docs ", "folder pub/ docs /empty", "folder pub/ docs /sub",
                          "9 pub/ docs /x.txt", "8 pub/ docs /sub/y.txt"}));

        QCOMPARE(outcome.download.targetFolder, m_jobs->local);
        QVERIFY(outcome.messages.isEmpty());
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/pub"));
        // The connections work, so there are two: the walk's and the queue's worker's; the folder
        // comes from the request, not PWD (the one PWD is the harness's).
        QCOMPARE(outcome.commands.count(QStringLiteral("USER tester")), 2);
        QCOMPARE(outcome.commands.filter(QRegularExpression(QStringLiteral("^(PWD|NOOP)"))).size(), 1);
        // Between two files of one folder, only what the transfer needs: EPSV or EPRT.
        QCOMPARE(outcome.commands.at(outcome.commands.indexOf(QStringLiteral("RETR  b.txt ")) + 2),
                 QStringLiteral("RETR a.txt"));
    }

    void withoutAConnectionNothingHappens()
    {
        const auto outcome = m_jobs->download({JobHarness::rows({"a.txt", "docs/"}), {}, m_jobs->local, {}});
        QVERIFY(outcome.finished);
        QVERIFY(outcome.lines.isEmpty() && outcome.commands.isEmpty());
        QCOMPARE(outcome.download.targetFolder, m_jobs->local);
        QCOMPARE(QDir(m_jobs->local).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    // Names that cannot be local names, a name twice, a line that names nothing readable, and
    // transfers that break: each gets its red line, the old local files stay, and nothing is
    // written outside the target or half-way.
    void refusedAndBrokenItemsLeaveTheRest()
    {
        const QByteArray large(256 * 1024, 'n');
        serverFile("pub/a.txt", "alpha");
        serverFile("pub/broken.bin", large);
        serverFile("pub/docs/broken.bin", large);
        serverFile("pub/docs/ok.txt", "ok");
        // Two names that differ only in bytes that are not UTF-8, a carriage return, a tab.
        const QList<QByteArray> rawNames{"caf\xe8.txt", "caf\xe9.txt", "cr\rname", "tab\tname"};
        for (const QByteArray& name : rawNames)
            serverFile("pub/docs/" + name, "never fetched");
        serverFile("evil", "must stay on the server");
        QVERIFY(writeFile(m_jobs->local + QStringLiteral("broken.bin"), "the old local file"));
        QVERIFY(writeFile(m_jobs->local + QStringLiteral("pub/docs/broken.bin"), "the old file in the tree"));
        FtpServerFixture::Options options;
        options.hostileNames = true; // every listing also names "../evil" and "a/b"
        options.brokenRetrName = QStringLiteral("broken.bin");
        QVERIFY(m_jobs->startServer(options));
        m_retry.retries = 0;

        // a.txt twice: the second one would replace the file the first one wrote.
        const auto outcome = download("/pub", {"../evil", "a/b", ".", "a/b/", "docs/", "a.txt", "broken.bin", "a.txt"});

        const QString cafE8 = QStringLiteral("/pub/docs/caf") + QChar(0xDCE8) + QStringLiteral(".txt");
        const QString cafE9 = QStringLiteral("/pub/docs/caf") + QChar(0xDCE9) + QStringLiteral(".txt");
        // The walk of docs: its listing's line that no parser reads is counted.
        QCOMPARE(outcome.lines.first(), historyKey("red", "FRMSERVER_UNREADABLE", QStringLiteral("1 (/pub/docs/)")));
        QCOMPARE(outcome.lines.mid(1), refused(u"../evil") + refused(u"a/b") + refused(u".") + fetched(u"a.txt")
                                    + refused(u"broken.bin") + refused(u"a.txt") + refused(u"/pub/a/b/")
                                    + refused(u"/pub/docs/broken.bin") + refused(cafE8) + refused(cafE9)
                                    + refused(u"/pub/docs/cr\rname") + fetched(u"/pub/docs/ok.txt")
                                    + refused(u"/pub/docs/tab\tname") + refused(u"/pub/docs/../evil")
                                    + refused(u"/pub/docs/a/b"));
        QCOMPARE(outcome.argumentsOf("RETR"), strings({"a.txt", "broken.bin", "broken.bin", "ok.txt"}));
        QCOMPARE(m_jobs->localFiles({"a.txt", "broken.bin", "pub/docs/broken.bin", "pub/docs/ok.txt"}),
                 QList<QByteArray>({"alpha", "the old local file", "the old file in the tree", "ok"}));
        // Nothing half-written beside them, nothing outside.
        const QDir::Filters all = QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden;
        QCOMPARE(QDir(m_jobs->local).entryList(all, QDir::Name), strings({"a.txt", "broken.bin", "pub"}));
        QCOMPARE(QDir(m_jobs->local + QStringLiteral("pub")).entryList(all), strings({"docs"}));
        QCOMPARE(QDir(m_jobs->local + QStringLiteral("pub/docs")).entryList(all, QDir::Name),
                 strings({"broken.bin", "ok.txt"}));
        QVERIFY(!QFileInfo::exists(m_jobs->local + QStringLiteral("../evil")));
        for (const QByteArray& name : rawNames) // QTemporaryDir cannot remove those that are not UTF-8
            ::unlink(QFile::encodeName(m_jobs->remote + QStringLiteral("pub/docs/")) + name);
    }

    void failedFolderChangeFetchesNothingElsewhere()
    {
        // A same-named file in the root, where a failed change of folder would leave the server.
        serverFile("x.txt", "the wrong x");
        serverFile("pub/gone/x.txt", "x");
        serverFile("pub/gone/docs/y.txt", "y");
        QVERIFY(m_jobs->startServer());

        // The folder the user is in disappears before the download starts.
        const auto outcome = download("/pub/gone", {"docs/", "x.txt"}, true, [this] {
            QVERIFY(QDir(m_jobs->remote + QStringLiteral("pub/gone")).removeRecursively());
        });

        QCOMPARE(outcome.lines, refused(u"x.txt") + refused(u"/pub/gone/docs/"));
        QVERIFY(outcome.argumentsOf("RETR").isEmpty());
        QCOMPARE(QDir(m_jobs->local).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
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
        for (const char* name : {"d1", "d2", "d3", "d4", "d5"})
            serverFile(QByteArray("pub/") + name + "/x.txt", QByteArray("x in ") + name);
        FtpServerFixture::Options options;
        options.dropAfterCommands = dropAfterCommands;
        QVERIFY(m_jobs->startServer(options));
        ConnectionSettings settings = settingsOf(m_jobs->server());
        if (!rightPassword)
            settings.password = QStringLiteral("wrong");
        const auto outcome = download("/pub", {"a.txt", "d1/", "d2/", "d3/", "d4/", "d5/"}, true, {}, settings);

        QVERIFY(outcome.finished);
        const int logins = static_cast<int>(outcome.commands.count(QStringLiteral("USER tester")));
        if (completes) {
            QVERIFY(outcome.messages.isEmpty());
            QCOMPARE(outcome.lines.filter(QStringLiteral("red\t")), QStringList());
            QCOMPARE(m_jobs->localFiles({"pub/d1/x.txt", "pub/d5/x.txt"}), QList<QByteArray>({"x in d1", "x in d5"}));
            // The walk's connection and the worker's, each made again when it is lost.
            QVERIFY(dropAfterCommands == 0 ? logins == 2 : logins > 2);
            return;
        }
        // Lost while listing d2: one message, one line for the seven items known by then, the end.
        QCOMPARE(outcome.messages, QStringList{messageText({"MPUB_NOCONN1", "MPUB_NOCONN2", "MPUB_NOCONN3"})});
        QCOMPARE(outcome.lines, QStringList{historyKey("red", "MDOWN_NOTDONE", QStringLiteral("7"))});
        QVERIFY(outcome.argumentsOf("RETR").isEmpty());
        QCOMPARE(logins, 2);
    }

    // A 1 MiB download that the server cuts (after cutAfter bytes, for cuts transfers) goes on
    // with REST at the partial's size and arrives byte for byte; a changed file or a refused REST
    // starts over; a try that moved forward does not use up a retry; a 550 is not retried.
    void retryAndResume_data()
    {
        QTest::addColumn<int>("cutAfter");
        QTest::addColumn<int>("cuts");
        QTest::addColumn<bool>("change"); // the cut leaves the file changed
        QTest::addColumn<bool>("noRest");
        QTest::addColumn<int>("retries");
        QTest::addColumn<int>("runs");    // a second run resumes what the first left
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("rests");
        QTest::addColumn<int>("retrs");
        QTest::addColumn<bool>("complete");
        const int cut60 = 629'146;
        const QStringList retry{QStringLiteral("RETRY_LINE")};
        QTest::newRow("cut at 60 %") << cut60 << 1 << false << false << 2 << 1 << retry << 1 << 2 << true;
        QTest::newRow("file changed") << cut60 << 1 << true << false << 2 << 1 << retry + strings({"RESUME_CHANGED"})
                                      << 0 << 2 << true;
        QTest::newRow("REST refused") << cut60 << 1 << false << true << 2 << 1 << retry + strings({"RESUME_REFUSED"})
                                      << 1 << 2 << true;
        QTest::newRow("tries that move on are free") << 300'000 << 3 << false << false << 1 << 1 << retry + retry + retry
                                                     << 3 << 4 << true;
        const QStringList counted = strings({"RETRY_LINE", "RESUME_REFUSED", "RETRY_LINE", "RESUME_REFUSED",
                                             "RESUME_PARTKEPT"});
        QTest::newRow("tries that do not are counted") << 300'000 << 3 << false << true << 1 << 1 << counted << 2 << 3
                                                       << false;
        QTest::newRow("an earlier run's partial") << cut60 << 1 << false << false << 0 << 2
                                                  << strings({"RESUME_PARTKEPT", "RESUME_FROM"}) << 1 << 2 << true;
        QTest::newRow("550") << 0 << 0 << false << false << 2 << 1 << QStringList() << 0 << 1 << false;
    }

    void retryAndResume()
    {
        QFETCH(int, cutAfter);
        QFETCH(int, runs);
        QFETCH(int, retrs);
        QByteArray content(1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < content.size(); ++i)
            content[i] = char(i * 7 % 251);
        serverFile("pub/d/big.bin", content);
        FtpServerFixture::Options options{.cutAfter = cutAfter, .cuts = testData<int>("cuts")};
        options.changeOnCut = testData<bool>("change");
        options.noRest = testData<bool>("noRest");
        QVERIFY(m_jobs->startServer(options));
        DownloadRequest request{JobHarness::rows({cutAfter ? "d/" : "missing.bin"}), QStringLiteral("/pub"), m_jobs->local,
                                settingsOf(m_jobs->server())};
        request.retry = {testData<int>("retries"), 0};

        JobHarness::Outcome outcome;
        QStringList lines, commands;
        for (int run = 0; run < runs; ++run) {
            outcome = m_jobs->download(request);
            lines += outcome.lines;
            commands += outcome.commands;
        }

        QCOMPARE(JobHarness::resumeKeys(lines), testData<QStringList>("keys"));
        // The file's start line comes before the lines of its tries.
        const auto at = [&outcome](const char* key) {
            const QString text = getText(key).section(QLatin1Char('%'), 0, 0);
            return std::find_if(outcome.lines.cbegin(), outcome.lines.cend(), [&text](const QString& line) { return line.contains(text); })
                   - outcome.lines.cbegin();
        };
        QVERIFY(at("MDOWN_DOWNSTART") < at("RETRY_LINE") || at("RETRY_LINE") == outcome.lines.size());
        const QStringList rests = commands.filter(QRegularExpression(QStringLiteral("^REST ")));
        QCOMPARE(rests.size(), testData<int>("rests"));
        QVERIFY(rests.isEmpty() || rests.first() == QStringLiteral("REST %1").arg(cutAfter));
        QCOMPARE(commands.filter(QRegularExpression(QStringLiteral("^RETR "))).size(), retrs);
        QFETCH(bool, complete);
        QCOMPARE(outcome.lines.last(), historyKey(complete ? "green" : "red", complete ? "MDOWN_DOWNOK" : "MDOWN_DOWNFAILED"));
        if (complete)
            QCOMPARE(m_jobs->localFiles({"pub/d/big.bin"}), m_jobs->remoteFiles({"pub/d/big.bin"}));
        QCOMPARE(QFileInfo::exists(m_jobs->local + QStringLiteral("pub/d/big.bin.part")), cutAfter > 0 && !complete);
    }

    void walkSkipsFolderLinksAndStopsDeep()
    {
        serverFile("pub/docs/x.txt", "x");
        // A link back to its own folder: followed, it would never end.
        // The server lists it as "loop -> ../docs/", a link to a folder.
        const QByteArray loop = QFile::encodeName(m_jobs->remote + QStringLiteral("pub/docs/loop"));
        QCOMPARE(::symlink("../docs/", loop.constData()), 0);
        // The selected folder is level 1; the walk lists levels 1 to maxWalkDepth, and the folder
        // found on the last of them is refused.
        QString tooDeep = QStringLiteral("/pub/deep/");
        for (int level = 1; level < DownloadJob::maxWalkDepth + 1; ++level)
            tooDeep += QStringLiteral("d/");
        QVERIFY(writeFile(m_jobs->remote + tooDeep.mid(1) + QStringLiteral("d/bottom.txt"), "too deep"));
        QVERIFY(m_jobs->startServer());

        const auto outcome = download("/pub", {"docs/", "deep/"});

        // The two selected folders, then the walk of docs: the link reported and not followed, its file.
        QCOMPARE(outcome.lines.mid(0, 8), created(m_jobs->local + QStringLiteral("pub/docs"))
                                              + created(m_jobs->local + QStringLiteral("pub/deep"))
                                              + refused(u"/pub/docs/loop/") + fetched(u"/pub/docs/x.txt"));
        QVERIFY(!QFileInfo::exists(m_jobs->local + QStringLiteral("pub/docs/loop")));
        QCOMPARE(outcome.lines.mid(outcome.lines.size() - 2), refused(tooDeep));
        QVERIFY(QFileInfo(m_jobs->local + tooDeep.mid(1).chopped(2)).isDir());
        QVERIFY(!QFileInfo::exists(m_jobs->local + tooDeep.mid(1)));
        QCOMPARE(outcome.argumentsOf("RETR"), strings({"x.txt"}));
    }

    // A server that invents folders cannot make the walk hold more than its bound (three items
    // here): the folder that would pass it is not listed and gets its red line.
    void walkStopsAtItsBound()
    {
        serverFile("pub/docs/x.txt", "x");
        serverFile("pub/docs/sub/y.txt", "y");
        QVERIFY(m_jobs->startServer());
        DownloadRequest request{JobHarness::rows({"docs/"}), QStringLiteral("/pub"), m_jobs->local,
                                settingsOf(m_jobs->server())};
        request.maxWalkEntries = 3;

        const auto outcome = m_jobs->download(request);

        const QString docs = m_jobs->local + QStringLiteral("pub/docs");
        QCOMPARE(outcome.lines, QStringList{historyKey("red", "MPUB_WALKLIMIT", QStringLiteral("3"))} + created(docs)
                                    + created(docs + QStringLiteral("/sub")) + refused(u"/pub/docs/sub/")
                                    + fetched(u"/pub/docs/x.txt"));
    }

private:
    // Downloads rows of remoteFolder into the local folder, with settings for its re-connections
    // (by default the server's own).
    JobHarness::Outcome download(const char* remoteFolder, std::initializer_list<const char*> rows,
                                 bool passive = true, const std::function<void()>& before = {},
                                 std::optional<ConnectionSettings> settings = {}) const
    {
        DownloadRequest request{JobHarness::rows(rows), QString::fromUtf8(remoteFolder), m_jobs->local,
                                settings.value_or(settingsOf(m_jobs->server(), passive))};
        request.retry = m_retry;
        return m_jobs->download(request, before);
    }

    // path as the server's file system holds it: bytes, which need not be UTF-8.
    void serverFile(const QByteArray& path, const QByteArray& content) const
    {
        const QByteArray full = QFile::encodeName(m_jobs->remote) + path;
        QVERIFY(QDir().mkpath(QFile::decodeName(full.left(full.lastIndexOf('/')))));
        FILE* file = std::fopen(full.constData(), "wb");
        QVERIFY2(file, full.constData());
        std::fwrite(content.constData(), 1, static_cast<size_t>(content.size()), file);
        std::fclose(file);
    }

    std::unique_ptr<JobHarness> m_jobs;
    RetrySettings m_retry{2, 0};
};

QTEST_GUILESS_MAIN(DownloadJobTest)
#include "tst_downloadjob.moc"
