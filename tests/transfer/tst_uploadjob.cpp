#include "JobHarness.h"
#include "TestHelpers.h"

#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The lines of the main menu's variant (built-in texts) and of the context menu's (catalogue).
QStringList created(const QString& name, UploadVariant variant = UploadVariant::Main)
{
    if (variant == UploadVariant::Main)
        return {historyLine("black", QStringLiteral("Aktion: Lege Verzeichnis ") + name + QStringLiteral(" an")),
                historyLine("green", QStringLiteral("Status: Anlegen erfolgreich"))};
    return {historyLine("black", getText("FRMPULOC_NEWDIR1") + QLatin1Char(' ') + name + getText("FRMPULOC_NEWDIR2")),
            historyKey("green", "FRMPULOC_GENOK")};
}

QString startOf(const QString& localPath, UploadVariant variant)
{
    const bool main = variant == UploadVariant::Main;
    return historyLine("black", (main ? QStringLiteral("Aktion: Starte Upload von") : getText("FRMPULOC_BEGUP"))
                                    + QLatin1Char(' ') + localPath);
}

QStringList uploaded(const QString& localPath, UploadVariant variant = UploadVariant::Main)
{
    return {startOf(localPath, variant), historyKey("green", "MPUB_UPOK")};
}

QStringList failed(const QString& localPath, UploadVariant variant = UploadVariant::Main)
{
    return {startOf(localPath, variant), historyKey("red", "MPUB_UPFAILED")};
}

QStringList notCreated(const QString& name)
{
    return {historyLine("black", QStringLiteral("Aktion: Lege Verzeichnis ") + name + QStringLiteral(" an")),
            historyKey("red", "FRMPULOC_GENFAIL")};
}

} // namespace

// Uploads of files and walked local trees to pyftpdlib: the order, the lines, the bytes on the
// wire, local files that cannot be sent, and what a broken or stopped upload leaves.
class UploadJobTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useCatalogue("deutsch"); } // before the harness opens it: rows name texts

    void init()
    {
        m_jobs = std::make_unique<JobHarness>();
        // The source folder keeps its case in every line.
        m_source = m_jobs->local + QStringLiteral("Src Folder/");
        QVERIFY(QDir().mkpath(m_jobs->remote + QStringLiteral("pub")) && QDir().mkpath(m_source));
    }

    void selectionThenWalkedTrees_data()
    {
        QTest::addColumn<UploadVariant>("variant");
        QTest::addColumn<bool>("passive");
        QTest::addColumn<bool>("folderExists");
        QTest::newRow("main menu, passive, new folder") << UploadVariant::Main << true << false;
        QTest::newRow("context menu, active, folder exists") << UploadVariant::ContextMenu << false << true;
    }

    void selectionThenWalkedTrees()
    {
        QFETCH(UploadVariant, variant);
        QFETCH(bool, passive);
        QFETCH(bool, folderExists);
        // Empty, 255 and 256 bytes: the sizes around the original's pieces of 255 bytes. The
        // blanks around " a.txt " stay part of its name.
        localFile(" a.txt ", {});
        localFile("b.bin", QByteArray(255, 'b'));
        localFile("docs/x.bin", QByteArray(256, 'x'));
        localFile("docs/sub/y.txt", "y");
        QVERIFY(QDir().mkpath(m_source + QStringLiteral("docs/empty")));
        if (folderExists)
            QVERIFY(QDir().mkpath(m_jobs->remote + QStringLiteral("pub/docs")));
        QVERIFY(m_jobs->startServer());
        UploadRequest request = this->request({"docs/", "b.bin", " a.txt "}, passive);
        request.variant = variant;

        const auto outcome = m_jobs->upload(request);

        QVERIFY(outcome.finished);
        // No lines for a folder that exists; its missing subfolders are created and announced.
        QCOMPARE(outcome.lines,
                 (folderExists ? QStringList() : created(QStringLiteral("docs"), variant))
                     + uploaded(m_source + QStringLiteral("b.bin"), variant)
                     + uploaded(m_source + QStringLiteral(" a.txt "), variant)
                     + created(QStringLiteral("empty"), variant) + created(QStringLiteral("sub"), variant)
                     + uploaded(m_source + QStringLiteral("docs/x.bin"), variant)
                     + uploaded(m_source + QStringLiteral("docs/sub/y.txt"), variant));
        QCOMPARE(outcome.argumentsOf("RNTO"), strings({"b.bin", " a.txt ", "x.bin", "y.txt"}));
        QCOMPARE(m_jobs->remoteFiles({"pub/ a.txt ", "pub/b.bin", "pub/docs/x.bin", "pub/docs/sub/y.txt"}),
                 QList<QByteArray>({"", QByteArray(255, 'b'), QByteArray(256, 'x'), "y"}));
        QVERIFY(QFileInfo(m_jobs->remote + QStringLiteral("pub/docs/empty")).isDir());
        QCOMPARE(JobHarness::describe(outcome.upload.items, m_source),
                 strings({"folder docs", "255 b.bin", "0  a.txt ", "folder docs/empty", "folder docs/sub", "256 docs/x.bin",
                          "1 docs/sub/y.txt"}));
        QVERIFY(outcome.upload.anythingToDo && outcome.messages.isEmpty());
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/pub"));
        // The queue drives the bar, in bytes of the whole selection.
        QVERIFY(!outcome.progress.isEmpty());
        QCOMPARE(outcome.progress.last().second, 512);
    }

    void transferTypeOnTheWire_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("asciiList");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("newName"); // upload-as when given
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("arrived");
        // A CR LF split between two blocks of the job and one inside a block stay one line end each;
        // bare line feeds, empty lines too, get their CR.
        const QByteArray start(UploadJob::blockSize - 1, 'x');
        const QByteArray text = start + "\r\ntwo\r\n\nthree";
        const QByteArray crLf = start + "\r\ntwo\r\n\r\nthree";
        const QStringList txt = strings({"TXT"});
        QTest::newRow("ASCII") << 0 << txt << "a.bin" << "" << text << crLf;
        QTest::newRow("BINARY") << 1 << txt << "a.txt" << "" << text << text;
        QTest::newRow("AUTO, listed") << 2 << txt << "readme.TXT" << "" << text << crLf;
        QTest::newRow("as, the new name is not listed") << 2 << txt << "notes.txt" << "notes.html" << text << text;
        QTest::newRow("as, HTM is not the new name's extension") << 2 << strings({"HTM"}) << "notes.txt"
                                                                 << "notes.html" << text << text;
        QTest::newRow("as, an empty file is refused") << 2 << txt << "notes.txt"
                                                      << "notes.html" << QByteArray() << QByteArray("<missing>");
    }

    void transferTypeOnTheWire()
    {
        QFETCH(QString, name);
        QFETCH(QString, newName);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, arrived);
        QVERIFY(writeFile(m_source + name, content));
        FtpServerFixture::Options options;
        options.rawAscii = true; // the server stores what came over the wire
        QVERIFY(m_jobs->startServer(options));
        UploadRequest request = this->request({});
        request.rows = {{name, false}};
        const auto chosen = static_cast<TransferType>(testData<int>("type"));
        const TransferFlag flag = chosen == TransferType::Ascii ? TransferFlag::Ascii : TransferFlag::Binary;
        request.type = {chosen, flag, testData<QStringList>("asciiList")};

        QStringList expected = uploaded(m_source + name);
        JobHarness::Outcome outcome;
        if (newName.isEmpty()) {
            outcome = m_jobs->upload(request);
        } else {
            outcome = m_jobs->upload(request, [name, newName](UploadJob& job) { return job.uploadAs(name, newName); });
            const QString refused = QStringLiteral("Status: Upload fehlgeschlagen (Größe der Datei: 0 Byte)");
            expected = {historyLine("black", QStringLiteral("Aktion: Starte Upload von %1 als %2").arg(name, newName)),
                        content.isEmpty() ? historyLine("red", refused) : historyKey("green", "MPUB_UPOK")};
        }

        QCOMPARE(outcome.lines, expected);
        QCOMPARE(readFile(m_jobs->remote + QStringLiteral("pub/") + (newName.isEmpty() ? name : newName)), arrived);
        QCOMPARE(outcome.commands.contains(QStringLiteral("TYPE A")), arrived.contains("\r\n\r\n"));
        // Nothing to list again after a refused empty file.
        QCOMPARE(outcome.upload.anythingToDo, !content.isEmpty());
    }

    // Local files that cannot be read fail without opening anything on the server; links to
    // folders are not followed; names that are not UTF-8 are refused, and so is a name that
    // several of them show as.
    void whatCannotBeSentFailsAlone()
    {
        QVERIFY(::mkfifo(QFile::encodeName(m_source + QStringLiteral("pipe")).constData(), 0600) == 0);
        QVERIFY(QFile::link(m_source + QStringLiteral("nowhere"), m_source + QStringLiteral("dangling")));
        QStringList unreadable = strings({"gone.txt", "pipe", "dangling"});
        // Reading permissions bind only users other than root.
        if (::geteuid() != 0) {
            localFile("secret.txt", "secret");
            QVERIFY(QFile::setPermissions(m_source + QStringLiteral("secret.txt"), QFileDevice::WriteOwner));
            unreadable.append(QStringLiteral("secret.txt"));
        }
        localFile("ok.txt", "ok");
        localFile("docs/x.txt", "x");
        // A link back to its own folder: followed, the walk would never end. A link to a file
        // sends the file's content.
        QVERIFY(QFile::link(QStringLiteral("../docs"), m_source + QStringLiteral("docs/loop")));
        QVERIFY(QFile::link(QStringLiteral("../ok.txt"), m_source + QStringLiteral("docs/linked.txt")));
        // a\xff.txt, a\xfe.txt and a real a\uFFFD.txt show alike; raw/ holds b\xff.txt, c\xff/d.txt
        // and a real e\uFFFD.txt.
        const QByteArray source = QFile::encodeName(m_source);
        for (const char* folder : {"raw", "raw/c\xff"})
            QVERIFY(::mkdir((source + folder).constData(), 0700) == 0);
        for (const char* raw : {"a\xff.txt", "a\xfe.txt", "a\xef\xbf\xbd.txt", "raw/b\xff.txt", "raw/c\xff/d.txt",
                                "raw/e\xef\xbf\xbd.txt"}) {
            const int file = ::open((source + raw).constData(), O_CREAT | O_WRONLY, 0600);
            QVERIFY(file >= 0 && ::close(file) == 0);
        }
        QVERIFY(m_jobs->startServer());
        UploadRequest request = this->request({});
        QStringList expected;
        for (const QString& name : std::as_const(unreadable)) {
            request.rows.append({name, false});
            expected += failed(m_source + name);
        }
        const QString alike = QStringLiteral("a\uFFFD.txt");
        request.rows += {{alike, false}, {alike, false}};
        request.rows += JobHarness::rows({"docs/", "raw/", "ok.txt"});

        const auto outcome = m_jobs->upload(request);

        QCOMPARE(outcome.lines,
                 expected + failed(m_source + alike) + failed(m_source + alike) + created(QStringLiteral("docs"))
                     + created(QStringLiteral("raw")) + uploaded(m_source + QStringLiteral("ok.txt"))
                     + uploaded(m_source + QStringLiteral("docs/linked.txt"))
                     + failed(m_source + QStringLiteral("docs/loop"))
                     + uploaded(m_source + QStringLiteral("docs/x.txt"))
                     + failed(m_source + QStringLiteral("raw/b\uFFFD.txt")) + notCreated(QStringLiteral("c\uFFFD"))
                     + uploaded(m_source + QStringLiteral("raw/e\uFFFD.txt")));
        QCOMPARE(outcome.argumentsOf("RNTO"), strings({"ok.txt", "linked.txt", "x.txt", "e\xef\xbf\xbd.txt"}));
        QCOMPARE(readFile(m_jobs->remote + QStringLiteral("pub/docs/linked.txt")), QByteArray("ok"));
        QVERIFY(!QFileInfo::exists(m_jobs->remote + QStringLiteral("pub/docs/loop")));
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/pub"));
    }

    // A folder that can be neither created nor entered gets one red line; nothing below it is tried.
    void folderThatCannotBeMadeIsNamedOnce_data()
    {
        QTest::addColumn<bool>("reader");
        QTest::newRow("no permission to write") << true;
        QTest::newRow("a file in the way") << false;
    }

    void folderThatCannotBeMadeIsNamedOnce()
    {
        localFile("top/a.txt", "a");
        localFile("top/sub/deeper/b.txt", "b");
        const bool reader = testData<bool>("reader");
        QVERIFY(reader || writeFile(m_jobs->remote + QStringLiteral("pub/top"), "a file"));
        QVERIFY(m_jobs->startServer());
        UploadRequest request = this->request({"top/"});
        if (reader) {
            request.settings.user = FtpServerFixture::readerUser();
            request.settings.password = FtpServerFixture::readerPassword();
        }

        const auto outcome = m_jobs->upload(request);

        QCOMPARE(outcome.lines, notCreated(QStringLiteral("top")));
        QCOMPARE(outcome.argumentsOf("MKD"), strings({"top"}));
        QCOMPARE(outcome.items.size(), 5);
        for (const TransferItem& item : outcome.items)
            QCOMPARE(item.state, TransferState::Failed);
    }

    // A 1 MiB upload over /pub/big.bin under server conditions given as words: cut at 60 % it
    // resumes (REST + STOR, or APPE without REST STREAM; ASCII starts over); one that fails or
    // is stopped leaves the old file as it was and deletes nothing; a 550 is not retried; where
    // the server will not rename onto an existing name, the old file goes only after the rename;
    // where it renames nothing, the file goes once more under its own name, unless a file is there.
    void resumeAndKeepTheOldFile_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("resumedBy");
        QTest::addColumn<int>("stores");
        QTest::addColumn<bool>("uploaded");
        const QStringList retry = strings({"RETRY_LINE"});
        const QStringList kept = strings({"RESUME_TEMPKEPT"});
        QTest::newRow("cut, REST + STOR") << "cut" << retry << "REST" << 2 << true;
        QTest::newRow("cut, APPE") << "cut norest" << retry << "APPE" << 2 << true;
        QTest::newRow("cut, ASCII starts over") << "cut ascii" << retry + strings({"RESUME_TEXT"}) << "" << 2 << true;
        QTest::newRow("fails over a file") << "broken old" << kept << "" << 1 << false;
        QTest::newRow("fails, the server keeps the old file") << "broken old hidden" << kept << "" << 1 << false;
        QTest::newRow("stopped over a file") << "stop old" << kept << "" << 1 << false;
        QTest::newRow("550") << "reader" << QStringList() << "" << 1 << false;
        QTest::newRow("no rename onto a file") << "norename old" << strings({"RESUME_OLDREPLACED"}) << "" << 1 << true;
        QTest::newRow("no rename at all") << "renameless" << strings({"RESUME_NORENAME"}) << "" << 2 << true;
        QTest::newRow("no rename at all, over a file") << "renameless old" << strings({"RESUME_NOREPLACE"}) << "" << 1 << false;
    }

    void resumeAndKeepTheOldFile()
    {
        QFETCH(QString, setup);
        const auto has = [&setup](const char* word) { return setup.split(QLatin1Char(' ')).contains(QLatin1String(word)); };
        QByteArray content(1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < content.size(); ++i)
            content[i] = has("ascii") ? (i % 64 == 63 ? '\n' : 'a') : char(i * 7 % 251);
        localFile("big.bin", content);
        const QByteArray old("the good old file");
        const QString remoteBig = m_jobs->remote + QStringLiteral("pub/big.bin");
        QVERIFY(!has("old") || writeFile(remoteBig, old));
        FtpServerFixture::Options options{.brokenStorName = has("broken") ? QStringLiteral("big.bin") : QString(),
                                          .throttle = has("stop") ? 256 * 1024 : 0,
                                          .hiddenStores = has("hidden"),
                                          .cutAfter = has("cut") ? 629'146 : 0,
                                          .noRest = has("norest"),
                                          .noReplaceRename = has("norename"),
                                          .noRename = has("renameless")};
        QVERIFY(m_jobs->startServer(options));
        UploadRequest request = this->request({"big.bin"});
        if (has("reader"))
            request.settings.user = request.settings.password = FtpServerFixture::readerUser();
        if (has("ascii"))
            request.type = {TransferType::Ascii, TransferFlag::Ascii, {}};
        request.retry.retries = has("broken") ? 0 : 2;
        request.variant = UploadVariant::ContextMenu; // drives the bar, which the stop watches

        const auto outcome = m_jobs->upload(request, {}, {}, [&has](qint64 done) { return has("stop") && done > 0; });

        // A stopped item waits again without lines of its own; the stop has its line.
        QCOMPARE(JobHarness::resumeKeys(outcome.lines), has("stop") ? QStringList() : testData<QStringList>("keys"));
        QFETCH(bool, uploaded);
        QCOMPARE(outcome.lines.last(), has("stop") ? historyKey("red", "MPUB_STOPPED")
                                                   : historyKey(uploaded ? "green" : "red", uploaded ? "MPUB_UPOK" : "MPUB_UPFAILED"));
        QCOMPARE(readFile(remoteBig), uploaded ? content : has("old") ? old : QByteArray("<missing>"));
        QFETCH(QString, resumedBy);
        const QStringList resumes = outcome.commands.filter(QRegularExpression(QStringLiteral("^(REST|APPE) ")));
        QCOMPARE(resumes.size(), resumedBy.isEmpty() ? 0 : 1);
        QVERIFY(resumedBy.isEmpty() || resumes.first().startsWith(resumedBy));
        QCOMPARE(outcome.commands.filter(QRegularExpression(QStringLiteral("^(STOR|APPE) "))).size(), testData<int>("stores"));
        QVERIFY(!outcome.commands.contains(QStringLiteral("DELE big.bin")));
        // What a resume needs stays, where the server kept it, and the queue knows its name.
        const qsizetype kept = testData<QStringList>("keys").count(QStringLiteral("RESUME_TEMPKEPT"));
        QCOMPARE(QDir(m_jobs->remote + QStringLiteral("pub")).entryList({QStringLiteral("*.part")}).size(),
                 has("hidden") ? 0 : kept);
        QCOMPARE(outcome.items.at(0).partialPath.isEmpty(), uploaded);
    }

    void lostServerIsReportedOnce()
    {
        localFile("a.txt", "a");
        localFile("docs/x.txt", "x");
        QVERIFY(m_jobs->startServer());

        const auto outcome = m_jobs->upload(request({"a.txt", "docs/"}), {}, [this] { m_jobs->server().stop(); });

        // The items wait for the next time the queue is processed; the user is told once.
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.messages.size(), 1);
        QCOMPARE(outcome.lines.size(), 1);
        QVERIFY(outcome.lines.first().startsWith(historyKey("red", "QUEUE_NOCONNECTION")));
        for (const TransferItem& item : outcome.items)
            QCOMPARE(item.state, TransferState::Queued);
    }

private:
    // Uploads the selected rows of the source folder into /pub, in binary.
    UploadRequest request(std::initializer_list<const char*> selected, bool passive = true) const
    {
        return {m_source, JobHarness::rows(selected), QStringLiteral("/pub"), settingsOf(m_jobs->server(), passive),
                {TransferType::Binary, TransferFlag::Binary, {}}, UploadVariant::Main, {2, 0}};
    }

    void localFile(const char* path, const QByteArray& content) const
    {
        QVERIFY(writeFile(m_source + QString::fromUtf8(path), content));
    }

    std::unique_ptr<JobHarness> m_jobs;
    QString m_source;
};

QTEST_GUILESS_MAIN(UploadJobTest)
#include "tst_uploadjob.moc"
