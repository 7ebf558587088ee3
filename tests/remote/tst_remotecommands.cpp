#include "DownloadAsDialog.h"
#include "FakeRemoteServer.h"
#include "InlineJobRunner.h"
#include "RemoteCommands.h"
#include "RemoteDeleteJob.h"
#include "RemoteFixture.h"
#include "SessionMaker.h"
#include "QueueFixture.h"
#include "SessionRunner.h"

#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

Q_DECLARE_METATYPE(RemoteCommand)
Q_DECLARE_METATYPE(FtpServerFixture::Options)

namespace {

QStringList deleted(const char* path, bool ok = true)
{
    return {historyKey("black", "MDEL_DELFILE", QString::fromUtf8(path)),
            ok ? historyKey("green", "MDEL_DELOK") : historyKey("red", "MDEL_DELFAILED")};
}

QString question(const char* first, const char* middle, const char* second)
{
    return getText(first) + QLatin1Char(' ') + QLatin1String(middle) + QLatin1Char(' ') + getText(second);
}

// Everything below folder, sorted: "a.txt", "docs/", "link@".
QStringList treeOf(const QString& folder)
{
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QString suffix = info.isSymLink() ? QStringLiteral("@") : info.isDir() ? QStringLiteral("/") : QString();
        paths.append(QDir(folder).relativeFilePath(info.filePath()) + suffix);
    }
    paths.sort();
    return paths;
}

// A server in memory that lies as a test stages it: MLSD's listing of each folder, MLST's answer
// for each path. It enters any folder and reports it by the path entered, as servers with logical
// paths do; DELE and RMD succeed.
class LyingServer final : public FakeRemoteServer
{
public:
    QMap<QString, QList<RemoteEntry>> listings;
    QMap<QString, RemoteEntry> facts;

    bool removeDir(const QString&) override { return true; }
    bool remove(const QString&) override { return true; }
    QString currentDir() override { return m_path; }
    bool setDir(const QString& name) override
    {
        m_path = QDir::cleanPath(name.startsWith(QLatin1Char('/')) ? name : m_path + QLatin1Char('/') + name);
        return true;
    }
    std::optional<QList<RemoteEntry>> list() override { return listings.value(m_path); }
    bool offersEntryFacts() const override { return true; }
    std::optional<RemoteEntry> entryFacts(const QString& path) override { return facts.value(path); }

private:
    QString m_path;
};

} // namespace

// The remote pane and its commands end to end against a real server: what they do there, the
// history lines they write, their questions and the refreshes that follow.
class RemoteCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        useCatalogue("deutsch");
        // Files downloaded for opening land in the cache folder, made when missing.
        QVERIFY(m_home.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("cache"))));
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        m_local = std::make_unique<QTemporaryDir>();
        m_handed.clear();
        m_listed.clear();
        m_shown.clear();
    }

    void cleanup()
    {
        m_fixture.reset();
        m_runner.reset();
        m_server.reset();
    }

    // A download ends with a re-connection; the next one must still fetch from the folder shown.
    void secondDownloadFetchesFromTheFolderShown()
    {
        makeTree(strings({"a.txt", "pub/a.txt"}));
        QVERIFY(startWith());
        const QString local = m_local->filePath(QStringLiteral("a.txt"));
        for (int round = 0; round < 2; ++round) {
            m_fixture->select({QStringLiteral("a.txt")});
            QSignalSpy finished(&m_fixture->actions->commands(), &RemoteCommands::downloadFinished);
            QVERIFY(m_fixture->run(RemoteCommand::Download));
            QVERIFY(finished.size() == 1 || finished.wait(jobTimeout));
            QCOMPARE(readFile(local), QByteArray("pub/a.txt"));
            QVERIFY(QFile::remove(local));
        }
        QCOMPARE(m_shown, QStringList(2, m_local->path() + QLatin1Char('/')));
        QCOMPARE(serverFolder(*m_runner), QStringLiteral("/pub"));
        QVERIFY(m_fixture->prompter.messages.isEmpty());
    }

    void deleteSelection_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<FtpServerFixture::Options>("server");
        QTest::addColumn<QStringList>("visit");
        QTest::addColumn<QStringList>("selection");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("left"); // in /pub
        QTest::addColumn<QStringList>("pathBox");

        const QStringList pubOnly = strings({"/", "/pub"});
        const QStringList targetLeft = strings({"target/", "target/t.txt"});
        const FtpServerFixture::Options plain;
        FtpServerFixture::Options locked;
        locked.protectedFolder = QStringLiteral("pub/old/locked");
        // MLSD shows a link to a folder as a folder here; the server's PWD gives it away.
        FtpServerFixture::Options hidingLinks;
        hidingLinks.advertiseMlsd = true;
        hidingLinks.realPwd = true;
        const QString deleteOld = question("MSDEL_FOLDDEL1", "/pub/old", "MSDEL_FOLDDEL2");
        QTest::newRow("two files in list order")
            << strings({"pub/a.txt", "pub/b.txt", "pub/c.txt"}) << plain << QStringList() << strings({"b.txt", "a.txt"})
            << question("MSDEL_FILEDEL1", "2", "MSDEL_FILEDEL2") << deleted("/pub/a.txt") + deleted("/pub/b.txt")
            << strings({"c.txt"}) << pubOnly;
        QTest::newRow("a folder: its files, then longer paths first; the path box cleaned")
            << strings({"pub/old/x.txt", "pub/old/sub/y.txt", "pub/keep/"}) << plain
            << strings({"/pub/old/sub", "/pub/keep"}) << strings({"old"}) << deleteOld
            << deleted("/pub/old/x.txt") + deleted("/pub/old/sub/y.txt") + deleted("/pub/old/sub/")
                   + deleted("/pub/old")
            << strings({"keep/"}) << strings({"/", "/pub/keep", "/pub"});
        QTest::newRow("a write-protected file: red lines up the chain, the rest deleted")
            << strings({"pub/old/x.txt", "pub/old/locked/y.txt"}) << locked << QStringList() << strings({"old"})
            << deleteOld
            << deleted("/pub/old/x.txt") + deleted("/pub/old/locked/y.txt", false)
                   + deleted("/pub/old/locked/", false) + deleted("/pub/old", false)
            << strings({"old/", "old/locked/", "old/locked/y.txt"}) << pubOnly;
        QTest::newRow("a link to a folder inside the tree goes as a link")
            << strings({"pub/target/t.txt", "pub/old/x.txt", "pub/old/link@pub/target"}) << plain << QStringList()
            << strings({"old"}) << deleteOld
            << deleted("/pub/old/link") + deleted("/pub/old/x.txt") + deleted("/pub/old") << targetLeft << pubOnly;
        QTest::newRow("a link listed as a folder is not walked where the server's path gives it away")
            << strings({"pub/target/t.txt", "pub/old/x.txt", "pub/old/link@pub/target"}) << hidingLinks << QStringList()
            << strings({"old"}) << deleteOld
            << deleted("/pub/old/x.txt") + deleted("/pub/old/link/", false) + deleted("/pub/old", false)
            << strings({"old/", "old/link@"}) + targetLeft << pubOnly;
        QTest::newRow("a selected link to a folder goes as a link")
            << strings({"pub/target/t.txt", "pub/shortcut@pub/target"}) << plain << QStringList()
            << strings({"shortcut"}) << question("MSDEL_DELETEIT1", "/pub/shortcut", "MSDEL_DELETEIT2")
            << deleted("/pub/shortcut") << targetLeft << pubOnly;
        QTest::newRow("'..' alone deletes nothing and asks nothing")
            << strings({"pub/a.txt"}) << plain << QStringList() << strings({".."}) << QString() << QStringList()
            << strings({"a.txt"}) << pubOnly;
    }

    void deleteSelection()
    {
        QFETCH(QString, question);
        makeTree(testData<QStringList>("tree"));
        QVERIFY(startWith(testData<FtpServerFixture::Options>("server"), testData<QStringList>("visit")));
        m_fixture->select(testData<QStringList>("selection"));
        m_fixture->prompter.messageAnswers.enqueue(PromptAnswer::Yes);

        QVERIFY(m_fixture->run(RemoteCommand::Delete));
        QCOMPARE(m_fixture->prompter.messages.size(), question.isEmpty() ? 0 : 1);
        if (!question.isEmpty())
            QCOMPARE(m_fixture->prompter.messages.first().text, question);
        QTEST(m_fixture->lines, "lines");
        QTEST(treeOf(m_root->filePath(QStringLiteral("pub"))), "left");
        QTEST(m_fixture->pane->pathBoxEntries(), "pathBox");
        // The list shows what is left, and the session stands in the folder shown.
        QCOMPARE(m_fixture->pane->folder(), QStringLiteral("/pub"));
        QStringList shown = namesOf(m_fixture->pane->rows()).mid(1);
        shown.sort();
        QCOMPARE(shown, QDir(m_root->filePath(QStringLiteral("pub")))
                            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name));
        QCOMPARE(serverFolder(*m_runner), QStringLiteral("/pub"));
    }

    // A link that MLSD calls a folder (or a folder that became a link since it was listed), on a
    // server that reports paths as entered: it is never walked, nothing below it is deleted. The
    // walk also stops at its bound of items.
    void deleteOnALyingServer_data()
    {
        QTest::addColumn<QByteArray>("lie");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("lines");
        const int unbound = int(walkEntryLimit);
        const QStringList rest = deleted("/pub/old/link/", false) + deleted("/pub/old/sub/") + deleted("/pub/old");
        const QStringList files = deleted("/pub/old/x.txt") + deleted("/pub/old/sub/y.txt");
        QTest::newRow("MLST calls it a link") << QByteArray("link") << unbound << files + rest;
        QTest::newRow("MLST names another path") << QByteArray("elsewhere") << unbound << files + rest;
        QTest::newRow("a listing calls it a link too")
            << QByteArray("twice") << unbound
            << deleted("/pub/old/x.txt") + deleted("/pub/old/link") + deleted("/pub/old/sub/y.txt") + rest;
        QTest::newRow("three items at most") << QByteArray() << 3
                                             << QStringList{historyKey("red", "MPUB_WALKLIMIT", QStringLiteral("3"))}
                                                    + deleted("/pub/old/x.txt") + deleted("/pub/old/sub/", false)
                                                    + deleted("/pub/old");
    }

    void deleteOnALyingServer()
    {
        QFETCH(QByteArray, lie);
        const auto entry = [](const char* name, bool folder, bool link = false) {
            RemoteEntry made;
            made.name = QString::fromUtf8(name);
            made.isDirectory = folder;
            made.isLink = link;
            return made;
        };
        const QString old = QStringLiteral("/pub/old");
        LyingServer server;
        server.listings = {{old, {entry("x.txt", false), entry("sub", true)}},
                           {old + QStringLiteral("/sub"), {entry("y.txt", false)}},
                           {old + QStringLiteral("/link"), {entry("victim.txt", false)}}};
        // A folder may be named by a longer path that ends in the one asked.
        server.facts = {{old, entry("/pub/old", true)},
                        {old + QStringLiteral("/sub"), entry("/home/u/pub/old/sub", true)},
                        {old + QStringLiteral("/link"),
                         entry(lie == "elsewhere" ? "/victim" : "/pub/old/link", lie != "link", lie == "link")}};
        if (!lie.isEmpty())
            server.listings[old].append(entry("link", true));
        if (lie == "twice")
            server.listings[old].append(entry("link", false, true));
        server.openConnection({});
        InlineJobRunner runner(server);
        QStringList lines;
        recordHistory(runner, lines, &runner);
        const RemoteDeleteRequest request{
            {DeleteRow{QStringLiteral("old"), true}}, QStringLiteral("/pub"), {}, {}, testData<int>("limit")};

        QVERIFY(runJob(runner, [&request](JobContext& ctx) { RemoteDeleteJob(ctx, request).deleteSelection(); }));
        QTEST(lines, "lines");
    }

    void newFolderAndRename_data()
    {
        QTest::addColumn<RemoteCommand>("command");
        QTest::addColumn<QString>("row");
        QTest::addColumn<InputAnswer>("answer");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("left"); // in /pub
        QTest::addColumn<int>("listings");
        QTest::addColumn<QString>("neverSent");

        const QStringList unchanged = strings({"a.txt", "docs/"});
        const InputAnswer cancelled{false, {}};
        // The toolbar re-connects first and still creates the folder where the pane stands; the
        // name goes to the server exactly as typed.
        QTest::newRow("new folder from the toolbar")
            << RemoteCommand::ToolbarNewFolder << QString() << InputAnswer{true, QStringLiteral("two  words ")}
            << QStringList{historyLine("black", question("FRMSERVER_NEWDIR1", "two  words ", "FRMSERVER_NEWDIR2")),
                           historyKey("green", "FRMSERVER_GENOK")}
            << strings({"a.txt", "docs/", "two  words /"}) << 1 << QString();
        QTest::newRow("new folder cancelled")
            << RemoteCommand::NewFolder << QString() << cancelled << QStringList() << unchanged << 0 << "MKD";
        QTest::newRow("new folder with a line break")
            << RemoteCommand::NewFolder << QString() << InputAnswer{true, QStringLiteral("x\r\nDELE a.txt")}
            << QStringList{
                   historyLine("black", question("FRMPUSERVER_DIRNEW1", "x\r\nDELE a.txt", "FRMPUSERVER_DIRNEW2")),
                   historyKey("red", "FRMPUSERVER_DIRFAILED")}
            << unchanged << 0 << "MKD";

        const QString renaming = historyKey("black", "FRMPUSERVER_RENAMEOF", QStringLiteral("a.txt"));
        QTest::newRow("rename") << RemoteCommand::Rename << "a.txt" << InputAnswer{true, QStringLiteral("b.txt")}
                                << QStringList{renaming, historyKey("green", "FRMPUSERVER_RENAMEOK")}
                                << strings({"b.txt", "docs/"}) << 1 << QString();
        QTest::newRow("rename onto a name in use")
            << RemoteCommand::Rename << "a.txt" << InputAnswer{true, QStringLiteral("docs")}
            << QStringList{renaming, historyKey("red", "FRMPUSERVER_RENAMEFAILED")} << unchanged << 0 << QString();
        QTest::newRow("rename cancelled") << RemoteCommand::Rename << "a.txt" << cancelled
                                          << QStringList{renaming, historyKey("red", "FRMPUSERVER_RENAMECANCEL")}
                                          << unchanged << 0 << "RNFR";
    }

    void newFolderAndRename()
    {
        QFETCH(QString, row);
        QFETCH(QString, neverSent);
        makeTree(strings({"pub/a.txt", "pub/docs/"}));
        QVERIFY(startWith());
        if (!row.isEmpty())
            m_fixture->select({row});
        m_fixture->prompter.inputAnswers.enqueue(testData<InputAnswer>("answer"));

        QSignalSpy listed(m_fixture->pane, &RemotePane::listingFinished);
        QVERIFY(m_fixture->run(testData<RemoteCommand>("command")));
        QCOMPARE(m_fixture->prompter.inputs.size(), 1);
        QCOMPARE(m_fixture->prompter.inputs.first().defaultAnswer, row);
        QTEST(m_fixture->lines, "lines");
        QTEST(treeOf(m_root->filePath(QStringLiteral("pub"))), "left");
        QTEST(int(listed.size()), "listings");
        QVERIFY(neverSent.isEmpty() || !m_server->serverLog().contains(neverSent));
        QCOMPARE(serverFolder(*m_runner), QStringLiteral("/pub"));
    }

    void openRemoteFile_data()
    {
        QTest::addColumn<RemoteCommand>("command");
        QTest::addColumn<QString>("row"); // the desktop has a program for report.pdf, and one that fails for .odt
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("handedTo"); // "open", "choose" or nobody

        const auto start = [](const char* key, const char* name) {
            return QStringList{historyKey("black", key, QString::fromLatin1(name)),
                               historyKey("green", "FRMPUSERVER_DOWNOK")};
        };
        const QStringList opened{historyLine("black", QStringLiteral("Öffnen report.pdf")),
                                 historyKey("green", "FRMPUSERVER_OPENOK")};
        QTest::newRow("open with the registered program")
            << RemoteCommand::Open << "report.pdf" << false << start("FRMPUSERVER_STARTDOWN", "report.pdf") + opened
            << QString() << "open";
        QTest::newRow("the program does not start (toolbar texts)")
            << RemoteCommand::ToolbarOpen << "letter.odt" << false
            << QStringList{historyKey("black", "FRMSERVER_STARTDOWN", QStringLiteral("letter.odt")),
                           historyKey("green", "FRMSERVER_DOWNOK"),
                           historyKey("black", "FRMSERVER_OPENFILE", QStringLiteral("letter.odt")),
                           historyKey("red", "MPUB_OPENFAILED", QStringLiteral("letter.odt"))}
            << QString() << "open";
        QTest::newRow("no program, No (toolbar texts)")
            << RemoteCommand::ToolbarOpen << "data.xyz" << false
            << QStringList{historyKey("black", "FRMSERVER_STARTDOWN", QStringLiteral("data.xyz")),
                           historyKey("green", "FRMSERVER_DOWNOK"), historyKey("red", "FRMSERVER_OPENCANCEL")}
            << getText("FRMSERVER_NOAPP1") + QLatin1Char('\n') + getText("FRMSERVER_NOAPP2") << QString();
        QTest::newRow("no program, Yes: the chooser")
            << RemoteCommand::Open << "data.xyz" << true << start("FRMPUSERVER_STARTDOWN", "data.xyz")
            << getText("FRMPUSERVER_NOAPP1") + QLatin1Char('\n') + getText("FRMPUSERVER_NOAPP2") << "choose";
        QTest::newRow("open with a chosen program")
            << RemoteCommand::OpenWith << "report.pdf" << false
            << start("FRMPUSERVER_DOWNSTART", "report.pdf") + QStringList{historyKey("black", "FRMPUSERVER_OPENDIA")}
            << QString() << "choose";
        QTest::newRow("a folder row fetches nothing")
            << RemoteCommand::Open << "docs" << false
            << QStringList{historyKey("black", "FRMPUSERVER_STARTDOWN", QStringLiteral("docs")),
                           historyKey("red", "FRMPUSERVER_DOWNFAILED")}
            << QString() << QString();
    }

    void openRemoteFile()
    {
        QFETCH(QString, row);
        QFETCH(QStringList, lines);
        QFETCH(QString, asked);
        QFETCH(QString, handedTo);
        makeTree(strings({"pub/report.pdf", "pub/data.xyz", "pub/letter.odt", "pub/docs/"}));
        QVERIFY(startWith());
        m_fixture->select({row});
        m_fixture->prompter.messageAnswers.enqueue(testData<bool>("yes") ? PromptAnswer::Yes : PromptAnswer::No);

        QVERIFY(m_fixture->run(testData<RemoteCommand>("command")));
        QCOMPARE(m_fixture->lines, lines);
        QCOMPARE(m_fixture->prompter.messages.size(), asked.isEmpty() ? 0 : 1);
        if (!asked.isEmpty()) {
            QCOMPARE(m_fixture->prompter.messages.first().text, asked);
            QCOMPARE(m_fixture->prompter.messages.first().buttons, PromptButtons::YesNo);
        }
        // The file waits in the private folder, whatever became of it.
        const QString local = m_home.filePath(QStringLiteral("cache/tempcorvc/") + row);
        const bool got = lines[1].startsWith(QLatin1String("green"));
        QCOMPARE(readFile(local), got ? QByteArray("pub/" + row.toUtf8()) : QByteArray("<missing>"));
        QCOMPARE(m_handed, handedTo.isEmpty() ? QStringList() : QStringList{handedTo + QLatin1Char(' ') + local});
    }

    void downloadAs()
    {
        makeTree(strings({"pub/good.txt", "pub/x..y"}));
        QVERIFY(writeFile(m_root->filePath(QStringLiteral("pub/big.bin")), QByteArray(64 * 1024, 'b')));
        QVERIFY(writeFile(m_local->filePath(QStringLiteral("kept.bin")), "the file that was here"));
        FtpServerFixture::Options options;
        options.brokenRetrName = QStringLiteral("big.bin");
        QVERIFY(startWith(options));
        const QString target = m_local->path() + QLatin1Char('/');

        // A row holding ".." opens nothing.
        QVERIFY(!openDownloadAs(QStringLiteral("x..y")));

        // A transfer that breaks leaves the local file as it was.
        DownloadAsDialog* dialog = openDownloadAs(QStringLiteral("big.bin"));
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblGroesse"))->text(), QStringLiteral("64 KB"));
        QCOMPARE(dialog->newNameEdit()->selectedText(), QStringLiteral("big.bin"));
        QVERIFY(confirm(dialog, QStringLiteral("  kept.bin ")));
        QCOMPARE(readFile(m_local->filePath(QStringLiteral("kept.bin"))), QByteArray("the file that was here"));

        // Names that would leave the folder are refused in the dialog; a complete transfer replaces.
        dialog = openDownloadAs(QStringLiteral("good.txt"));
        QVERIFY(dialog);
        for (const QString& name : {QStringLiteral("../good.txt"), QStringLiteral(" .. "), QStringLiteral("a/b")}) {
            dialog->newNameEdit()->setText(name);
            dialog->downloadButton()->click();
            QVERIFY(dialog->isVisible());
            QCOMPARE(m_fixture->prompter.messages.last().text, getText("FRMDOWNLOADALS_BADNAME"));
        }
        QCOMPARE(m_fixture->prompter.messages.size(), 3);
        QVERIFY(confirm(dialog, QStringLiteral("kept.bin")));
        QCOMPARE(readFile(m_local->filePath(QStringLiteral("kept.bin"))), QByteArray("pub/good.txt"));

        const auto starting = [&target](const char* name) {
            return historyLine(
                "black",
                QStringLiteral("Aktion: Starte Download von %1 als %2kept.bin").arg(QLatin1String(name), target));
        };
        QCOMPARE(
            m_fixture->lines,
            QStringList({starting("big.bin"), historyLine("red", QStringLiteral("Status: Dowload fehlgeschlagen")),
                         starting("good.txt"), historyLine("green", QStringLiteral("Status: Dowload erfolgreich"))}));
        QCOMPARE(m_listed, QStringList(2, target));
        QCOMPARE(treeOf(target), strings({"kept.bin"}));
    }

private:
    // "a/b.txt" is a file holding its own path, "a/" a folder, "a/l@b" a link to the folder b.
    void makeTree(const QStringList& tree)
    {
        for (const QString& entry : tree) {
            const QString path = m_root->filePath(entry.section(QLatin1Char('@'), 0, 0));
            if (entry.contains(QLatin1Char('@'))) {
                QVERIFY(QDir().mkpath(QFileInfo(path).path()));
                QVERIFY(QFile::link(m_root->filePath(entry.section(QLatin1Char('@'), 1)), path));
            } else if (entry.endsWith(QLatin1Char('/'))) {
                QVERIFY(QDir().mkpath(path));
            } else {
                QVERIFY(writeFile(path, entry.toUtf8()));
            }
        }
    }

    // Serves the tree, connects, and lists each folder of visit and then /pub.
    bool startWith(const FtpServerFixture::Options& options = {}, const QStringList& visit = {})
    {
        m_server = std::make_unique<FtpServerFixture>(options);
        if (!m_server->start(m_root->path()))
            return false;
        m_runner = std::make_unique<SessionRunner>(makeSession);
        const ConnectionSettings settings = settingsOf(*m_server);
        RemoteEnvironment environment{[settings] { return settings; },
                                      [this] { return m_local->path() + QLatin1Char('/'); },
                                      [this](const QString& folder) { m_shown.append(folder); },
                                      {}, m_transfers.transfers()};
        environment.listLocalFolder = [this](const QString& folder) { m_listed.append(folder); };
        environment.openFile = [this](const QString& path) {
            using Result = ShellServices::OpenResult;
            const Result result = path.endsWith(QLatin1String(".pdf"))   ? Result::Opened
                                  : path.endsWith(QLatin1String(".odt")) ? Result::NotStarted
                                                                         : Result::NoProgram;
            if (result != Result::NoProgram)
                m_handed.append(QStringLiteral("open ") + path);
            return result;
        };
        environment.chooseProgram = [this](const QString& path) { m_handed.append(QStringLiteral("choose ") + path); };
        m_fixture = std::make_unique<RemoteFixture>(*m_runner, environment);
        if (!m_fixture->connectAndList(settings))
            return false;
        for (const QString& folder : visit + strings({"/pub"})) {
            if (!m_fixture->list([&] { m_fixture->pane->changeFolder(folder); }))
                return false;
        }
        return true;
    }

    DownloadAsDialog* openDownloadAs(const QString& name)
    {
        m_fixture->select({name});
        m_fixture->actions->action(RemoteCommand::DownloadAs)->trigger();
        // A dialog closed before waits for the event loop to delete it.
        for (DownloadAsDialog* dialog : m_fixture->window.findChildren<DownloadAsDialog*>()) {
            if (dialog->isVisible())
                return dialog;
        }
        return nullptr;
    }

    // Types newName into the dialog, confirms and waits for the download.
    bool confirm(DownloadAsDialog* dialog, const QString& newName)
    {
        QSignalSpy idle(m_runner.get(), &JobRunner::idle);
        dialog->newNameEdit()->setText(newName);
        dialog->downloadButton()->click();
        return !dialog->isVisible() && idle.wait(jobTimeout);
    }

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<FtpServerFixture> m_server;
    std::unique_ptr<SessionRunner> m_runner;
    QueueFixture m_transfers{[] { return std::make_unique<SessionRunner>(makeSession); }};
    std::unique_ptr<RemoteFixture> m_fixture;
    QStringList m_handed; // "open PATH" for the registered program, "choose PATH" for the chooser
    QStringList m_listed; // local folders listed in code order
    QStringList m_shown;  // local folders shown after a download
};

QTEST_MAIN(RemoteCommandsTest)
#include "tst_remotecommands.moc"
