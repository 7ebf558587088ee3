#include "FtpServerFixture.h"
#include "NameLists.h"
#include "TextCatalogue.h"
#include "UploadHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString line(const char* colour, const QString& text)
{
    return QLatin1String(colour) + QLatin1Char('\t') + text;
}

// The lines of the main menu's variant (built-in texts) and of the context menu's (catalogue).
QStringList created(const QString& name, UploadVariant variant = UploadVariant::Main)
{
    if (variant == UploadVariant::Main)
        return {line("black", QStringLiteral("Aktion: Lege Verzeichnis ") + name + QStringLiteral(" an")),
                line("green", QStringLiteral("Status: Anlegen erfolgreich"))};
    return {line("black", getText("FRMPULOC_NEWDIR1") + QLatin1Char(' ') + name + getText("FRMPULOC_NEWDIR2")),
            line("green", getText("FRMPULOC_GENOK"))};
}

QString startOf(const QString& localPath, UploadVariant variant = UploadVariant::Main)
{
    return line("black", variant == UploadVariant::Main ? QStringLiteral("Aktion: Starte Upload von ") + localPath
                                                        : getText("FRMPULOC_BEGUP") + QLatin1Char(' ') + localPath);
}

QStringList uploaded(const QString& localPath, UploadVariant variant = UploadVariant::Main)
{
    return {startOf(localPath, variant), line("green", getText("MPUB_UPOK"))};
}

QStringList failed(const QString& localPath)
{
    return {startOf(localPath), line("red", getText("MPUB_UPFAILED"))};
}

QStringList stored(const QStringList& commands)
{
    QStringList result;
    for (const QString& command : commands) {
        if (command.startsWith(QLatin1String("STOR ")))
            result.append(command.mid(5));
    }
    return result;
}

QList<SelectedRow> rows(std::initializer_list<const char*> names)
{
    // A name ending in "/" is a folder.
    QList<SelectedRow> result;
    for (const char* name : names) {
        const QString text = QString::fromUtf8(name);
        result.append(text.endsWith(QLatin1Char('/')) ? SelectedRow{text.chopped(1), true} : SelectedRow{text, false});
    }
    return result;
}

} // namespace

class UploadJobTest : public QObject
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
        // The source folder keeps its case in every line.
        m_source = m_local->path() + QStringLiteral("/Src Folder/");
        QVERIFY(QDir().mkpath(m_root + QStringLiteral("pub")));
        QVERIFY(QDir().mkpath(m_source));
    }

    void cleanup()
    {
        m_ftp.reset();
        m_server.reset();
        m_local.reset();
    }

    void filesFirstThenTheWalkedTree_data()
    {
        QTest::addColumn<UploadVariant>("variant");
        QTest::addColumn<bool>("passive");
        QTest::newRow("main menu, passive") << UploadVariant::Main << true;
        QTest::newRow("context menu, active") << UploadVariant::ContextMenu << false;
    }

    void filesFirstThenTheWalkedTree()
    {
        QFETCH(UploadVariant, variant);
        QFETCH(bool, passive);
        // Empty, 255 and 256 bytes: the sizes around the original's pieces of 255 bytes.
        localFile("a.txt", {});
        localFile("b.bin", QByteArray(255, 'b'));
        localFile("docs/x.bin", QByteArray(256, 'x'));
        localFile("docs/sub/y.txt", "y");
        QVERIFY(QDir().mkpath(m_source + QStringLiteral("docs/empty")));
        QVERIFY(startServer());

        UploadRequest request = this->request(rows({"docs/", "b.bin", "a.txt"}), passive);
        request.variant = variant;
        const auto outcome = harness(passive).uploadSelection(request);

        QVERIFY(outcome.connected && outcome.finished);
        QCOMPARE(outcome.lines, created(QStringLiteral("docs"), variant) + uploaded(m_source + QStringLiteral("b.bin"), variant)
                                    + uploaded(m_source + QStringLiteral("a.txt"), variant)
                                    + created(QStringLiteral("empty"), variant) + created(QStringLiteral("sub"), variant)
                                    + uploaded(m_source + QStringLiteral("docs/x.bin"), variant)
                                    + uploaded(m_source + QStringLiteral("docs/sub/y.txt"), variant));
        QCOMPARE(serverFile("pub/a.txt"), QByteArray());
        QCOMPARE(serverFile("pub/b.bin"), QByteArray(255, 'b'));
        QCOMPARE(serverFile("pub/docs/x.bin"), QByteArray(256, 'x'));
        QCOMPARE(serverFile("pub/docs/sub/y.txt"), QByteArray("y"));
        QVERIFY(QFileInfo(m_root + QStringLiteral("pub/docs/empty")).isDir());
        QVERIFY(outcome.result.anythingToDo);
        QCOMPARE(outcome.result.filesUploaded, 4);
        QCOMPARE(outcome.result.filesFailed + outcome.result.foldersFailed, 0);
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/pub"));
        QVERIFY(outcome.messages.isEmpty());
        // Only the context menu's variant drives the bar, in bytes.
        if (variant == UploadVariant::Main) {
            QVERIFY(outcome.progress.isEmpty());
        } else {
            QCOMPARE(outcome.progress.first(), (QPair<qint64, qint64>(0, 512)));
            QCOMPARE(outcome.progress.last(), (QPair<qint64, qint64>(512, 512)));
        }
    }

    void existingFolderIsUsedAndNamesGoAsTheyAre()
    {
        QVERIFY(QDir().mkpath(m_root + QStringLiteral("pub/docs")));
        localFile("docs/sub/y.txt", "y");
        localFile(" spaced name ", "blanks");
        QVERIFY(startServer());

        const auto outcome = harness().uploadSelection(request(rows({"docs/", " spaced name "})));

        // No lines for the folder that exists; its missing subfolder is created and announced.
        QCOMPARE(outcome.lines, uploaded(m_source + QStringLiteral(" spaced name ")) + created(QStringLiteral("sub"))
                                    + uploaded(m_source + QStringLiteral("docs/sub/y.txt")));
        QCOMPARE(stored(outcome.commands), strings({" spaced name ", "y.txt"}));
        QCOMPARE(serverFile("pub/docs/sub/y.txt"), QByteArray("y"));
    }

    void lineEndsOnTheWire_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("arrived");
        const QByteArray crLf("one\r\ntwo\r\nthree");
        const QByteArray asIs("one\ntwo\r\nthree");
        QTest::newRow("ASCII") << 0 << "a.bin" << crLf;
        QTest::newRow("BINARY") << 1 << "a.txt" << asIs;
        QTest::newRow("AUTO, listed") << 2 << "readme.TXT" << crLf;
        QTest::newRow("AUTO, not listed") << 2 << "readme.doc" << asIs;
    }

    void lineEndsOnTheWire()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(QByteArray, arrived);
        writeFile(m_source + name, "one\ntwo\r\nthree");
        FtpServerFixture::Options options;
        options.rawAscii = true; // the server stores what came over the wire
        QVERIFY(startServer(options));
        UploadRequest request = this->request(QList<SelectedRow>{{name, false}});
        const auto chosen = static_cast<TransferType>(type);
        request.type = {chosen, chosen == TransferType::Ascii ? TransferFlag::Ascii : TransferFlag::Binary,
                        strings({"TXT"})};

        const auto outcome = harness().uploadSelection(request);

        QCOMPARE(outcome.lines, uploaded(m_source + name));
        QCOMPARE(readFile(m_root + QStringLiteral("pub/") + name), arrived);
        QVERIFY(outcome.commands.contains(arrived == "one\ntwo\r\nthree" ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A")));
    }

    void uploadAsIsJudgedByTheNewName_data()
    {
        QTest::addColumn<QStringList>("asciiList");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("arrived");
        QTest::newRow("TXT listed: binary") << strings({"TXT"}) << QByteArray("a\nb") << QByteArray("a\nb");
        QTest::newRow("HTM listed: ASCII") << strings({"HTM"}) << QByteArray("a\nb") << QByteArray("a\r\nb");
        QTest::newRow("empty file: refused") << strings({"TXT"}) << QByteArray() << QByteArray("<missing>");
    }

    void uploadAsIsJudgedByTheNewName()
    {
        QFETCH(QStringList, asciiList);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, arrived);
        localFile("notes.txt", content);
        FtpServerFixture::Options options;
        options.rawAscii = true;
        QVERIFY(startServer(options));
        UploadRequest request = this->request({});
        request.type = {TransferType::Auto, TransferFlag::Binary, asciiList};

        const auto outcome = harness().run(request, [](UploadJob& job) {
            return job.uploadAs(QStringLiteral("notes.txt"), QStringLiteral("notes.html"));
        });

        const QString start = line("black", QStringLiteral("Aktion: Starte Upload von notes.txt als notes.html"));
        if (content.isEmpty()) {
            QCOMPARE(outcome.lines, QStringList({start, line("red", QStringLiteral("Status: Upload fehlgeschlagen (Größe der Datei: 0 Byte)"))}));
            QVERIFY(stored(outcome.commands).isEmpty());
            QVERIFY(!outcome.result.anythingToDo); // nothing to list again
        } else {
            QCOMPARE(outcome.lines, QStringList({start, line("green", getText("MPUB_UPOK"))}));
            QVERIFY(outcome.result.anythingToDo);
        }
        QCOMPARE(serverFile("pub/notes.html"), arrived);
    }

    void unreadableLocalFilesFailWithoutTouchingTheServer()
    {
        localFile("ok.txt", "ok");
        QVERIFY(::mkfifo(QFile::encodeName(m_source + QStringLiteral("pipe")).constData(), 0600) == 0);
        QVERIFY(QFile::link(m_source + QStringLiteral("nowhere"), m_source + QStringLiteral("dangling")));
        QList<SelectedRow> selected = rows({"gone.txt", "pipe", "dangling"});
        // Reading permissions bind only users other than root.
        if (::geteuid() != 0) {
            localFile("secret.txt", "secret");
            QVERIFY(QFile::setPermissions(m_source + QStringLiteral("secret.txt"), QFileDevice::WriteOwner));
            selected.append({QStringLiteral("secret.txt"), false});
        }
        selected.append({QStringLiteral("ok.txt"), false});
        QVERIFY(startServer());

        const auto outcome = harness().uploadSelection(request(selected));

        QStringList expected;
        for (qsizetype i = 0; i + 1 < selected.size(); ++i)
            expected += failed(m_source + selected[i].name);
        QCOMPARE(outcome.lines, expected + uploaded(m_source + QStringLiteral("ok.txt")));
        QCOMPARE(stored(outcome.commands), strings({"ok.txt"}));
        QCOMPARE(QDir(m_root + QStringLiteral("pub")).entryList(QDir::Files), strings({"ok.txt"}));
        QCOMPARE(outcome.result.filesFailed, static_cast<int>(selected.size()) - 1);
    }

    void linksToFoldersAreNotFollowed()
    {
        localFile("docs/x.txt", "x");
        localFile("outside.txt", "outside");
        // A link back to its own folder: followed, the walk would never end.
        QVERIFY(QFile::link(QStringLiteral("../docs"), m_source + QStringLiteral("docs/loop")));
        QVERIFY(QFile::link(QStringLiteral("../outside.txt"), m_source + QStringLiteral("docs/linked.txt")));
        QVERIFY(startServer());

        const auto outcome = harness().uploadSelection(request(rows({"docs/"})));

        QVERIFY(outcome.finished);
        QCOMPARE(outcome.lines, created(QStringLiteral("docs")) + uploaded(m_source + QStringLiteral("docs/linked.txt"))
                                    + failed(m_source + QStringLiteral("docs/loop"))
                                    + uploaded(m_source + QStringLiteral("docs/x.txt")));
        QCOMPARE(serverFile("pub/docs/linked.txt"), QByteArray("outside"));
        QVERIFY(!QFileInfo::exists(m_root + QStringLiteral("pub/docs/loop")));
    }

    void failedFolderChangeStoresNothingElsewhere()
    {
        // A file where the folder should go: it can be neither created nor entered.
        writeFile(m_root + QStringLiteral("pub/docs"), "a file");
        localFile("docs/x.txt", "x");
        localFile("top.txt", "top");
        QVERIFY(startServer());

        const auto outcome = harness().uploadSelection(request(rows({"docs/", "top.txt"})));

        QCOMPARE(outcome.lines, uploaded(m_source + QStringLiteral("top.txt")) + failed(m_source + QStringLiteral("docs/x.txt")));
        QCOMPARE(stored(outcome.commands), strings({"top.txt"}));
        QVERIFY(!QFileInfo::exists(m_root + QStringLiteral("pub/x.txt")));
        QCOMPARE(outcome.folderAfterwards, QStringLiteral("/pub"));
    }

    void brokenOrRefusedTransfer_data()
    {
        QTest::addColumn<bool>("refuseDelete");
        QTest::addColumn<bool>("reader");
        QTest::addColumn<QStringList>("partLines");
        QTest::addColumn<bool>("partLeft");
        QTest::newRow("broken, part removed")
            << false << false << QStringList{line("black", getText("MPUB_PARTDELETED") + QStringLiteral(" /pub/big.bin"))}
            << false;
        QTest::newRow("broken, removal refused")
            << true << false << QStringList{line("red", getText("MPUB_PARTLEFT") + QStringLiteral(" /pub/big.bin"))} << true;
        QTest::newRow("refused: nothing to remove") << false << true << QStringList{} << false;
    }

    void brokenOrRefusedTransfer()
    {
        QFETCH(bool, refuseDelete);
        QFETCH(bool, reader);
        QFETCH(QStringList, partLines);
        QFETCH(bool, partLeft);
        localFile("big.bin", QByteArray(1024 * 1024, 'g'));
        FtpServerFixture::Options options;
        options.brokenStorName = QStringLiteral("big.bin");
        options.refuseDelete = refuseDelete;
        QVERIFY(startServer(options));
        UploadHarness uploader = harness();
        UploadRequest request = this->request(rows({"big.bin"}));
        if (reader) {
            uploader = UploadHarness({m_ftp->host(), m_ftp->portText(), FtpServerFixture::readerUser(),
                                      FtpServerFixture::readerPassword(), true});
            request.settings = {m_ftp->host(), m_ftp->portText(), FtpServerFixture::readerUser(),
                                FtpServerFixture::readerPassword(), true};
        }

        const auto outcome = uploader.uploadSelection(request);

        QCOMPARE(outcome.lines, failed(m_source + QStringLiteral("big.bin")) + partLines);
        QCOMPARE(QFileInfo::exists(m_root + QStringLiteral("pub/big.bin")), partLeft);
        QCOMPARE(outcome.commands.contains(QStringLiteral("DELE big.bin")), !reader);
        QVERIFY(outcome.result.partialFile.isEmpty());
    }

    void stoppedTransferRemovesItsPart()
    {
        localFile("big.bin", QByteArray(8 * 1024 * 1024, 's'));
        localFile("later.txt", "never sent");
        FtpServerFixture::Options options;
        options.throttle = 512 * 1024; // the transfer is surely running when the stop comes
        QVERIFY(startServer(options));
        UploadRequest request = this->request(rows({"big.bin", "later.txt"}));
        request.variant = UploadVariant::ContextMenu;

        const auto outcome = harness().run(
            request, [](UploadJob& job) { return job.uploadSelection(); }, {},
            [](const JobHandle& upload, qint64 done) {
                if (done > 0)
                    upload.cancel();
            });

        QVERIFY(outcome.finished);
        QCOMPARE(outcome.result.partialFile, QStringLiteral("/pub/big.bin"));
        QCOMPARE(outcome.lines, QStringList({startOf(m_source + QStringLiteral("big.bin"), UploadVariant::ContextMenu),
                                             line("red", getText("MPUB_UPFAILED")),
                                             line("black", getText("MPUB_PARTDELETED") + QStringLiteral(" /pub/big.bin"))}));
        QVERIFY(!QFileInfo::exists(m_root + QStringLiteral("pub/big.bin")));
        QCOMPARE(stored(outcome.commands), strings({"big.bin"}));
    }

    void lostServerIsReportedOnce()
    {
        localFile("a.txt", "a");
        localFile("docs/x.txt", "x");
        QVERIFY(startServer());

        const auto outcome = harness().uploadSelection(request(rows({"a.txt", "docs/"})), [this] { m_ftp->stop(); });

        QVERIFY(outcome.connected && outcome.finished);
        QCOMPARE(outcome.messages, QStringList{getText("MPUB_NOCONN1") + QLatin1Char('\n') + getText("MPUB_NOCONN2")
                                               + QLatin1Char('\n') + getText("MPUB_NOCONN3")});
        QCOMPARE(outcome.lines, failed(m_source + QStringLiteral("a.txt"))
                                    + QStringList({line("black", QStringLiteral("Aktion: Lege Verzeichnis docs an")),
                                                   line("red", getText("FRMPULOC_GENFAIL"))})
                                    + failed(m_source + QStringLiteral("docs/x.txt")));
        QCOMPARE(outcome.result.filesFailed, 2);
        QCOMPARE(outcome.result.foldersFailed, 1);
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

    ConnectionSettings settings(bool passive = true) const
    {
        return {m_ftp->host(), m_ftp->portText(), FtpServerFixture::user(), FtpServerFixture::password(), passive};
    }

    UploadHarness harness(bool passive = true) const { return UploadHarness(settings(passive)); }

    UploadRequest request(const QList<SelectedRow>& selected, bool passive = true) const
    {
        UploadRequest request;
        request.sourceFolder = m_source;
        request.rows = selected;
        request.remoteFolder = QStringLiteral("/pub");
        request.settings = settings(passive);
        request.type = {TransferType::Binary, TransferFlag::Binary, {}};
        return request;
    }

    void localFile(const char* path, const QByteArray& content) const
    {
        writeFile(m_source + QString::fromUtf8(path), content);
    }

    QByteArray serverFile(const char* path) const { return readFile(m_root + QString::fromUtf8(path)); }

    std::unique_ptr<QTemporaryDir> m_server;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<FtpServerFixture> m_ftp;
    QString m_root;
    QString m_source;
};

QTEST_GUILESS_MAIN(UploadJobTest)
#include "tst_uploadjob.moc"
