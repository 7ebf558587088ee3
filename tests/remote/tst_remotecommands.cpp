#include "DownloadAsDialog.h"
#include "RemoteCommands.h"
#include "RemoteFixture.h"
#include "SessionRunner.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>

#include <memory>

Q_DECLARE_METATYPE(RemoteCommand)
Q_DECLARE_METATYPE(FtpServerFixture::Options)

namespace {

QStringList deleted(const char* path)
{
    return {historyKey("black", "MDEL_DELFILE", QString::fromUtf8(path)), historyKey("green", "MDEL_DELOK")};
}

QStringList failed(const char* path)
{
    return {historyKey("black", "MDEL_DELFILE", QString::fromUtf8(path)), historyKey("red", "MDEL_DELFAILED")};
}

QString question(const char* first, const char* middle, const char* second)
{
    return getText(first) + QLatin1Char(' ') + QLatin1String(middle) + QLatin1Char(' ') + getText(second);
}

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
        // Files downloaded for opening land here.
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        m_local = std::make_unique<QTemporaryDir>();
        m_opened.clear();
        m_chosen.clear();
        m_listed.clear();
        m_shown.clear();
        m_hasProgram = false;
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
        QVERIFY(writeFile(m_root->filePath(QStringLiteral("a.txt")), "namesake in the root"));
        QVERIFY(writeFile(m_root->filePath(QStringLiteral("pub/a.txt")), "the one shown"));
        QVERIFY(startWith());
        QVERIFY(m_fixture->list([this] { m_fixture->pane->changeFolder(QStringLiteral("pub")); }));
        const QString local = m_local->filePath(QStringLiteral("a.txt"));
        for (int round = 0; round < 2; ++round) {
            m_fixture->select({QStringLiteral("a.txt")});
            QSignalSpy finished(&m_fixture->actions->commands(), &RemoteCommands::downloadFinished);
            QVERIFY(m_fixture->run(RemoteCommand::Download));
            QCOMPARE(finished.size(), 1);
            QCOMPARE(readFile(local), QByteArray("the one shown"));
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
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("pathBox");

        const QStringList pubOnly = strings({"/", "/pub"});
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
            << strings({"pub/a.txt", "pub/b.txt"}) << strings({"pub/c.txt"}) << pubOnly;
        QTest::newRow("a folder: its files, then longer paths first; the path box cleaned")
            << strings({"pub/old/x.txt", "pub/old/sub/y.txt", "pub/keep/"}) << plain
            << strings({"/pub/old/sub", "/pub/keep"}) << strings({"old"}) << deleteOld
            << deleted("/pub/old/x.txt") + deleted("/pub/old/sub/y.txt") + deleted("/pub/old/sub/")
                + deleted("/pub/old")
            << strings({"pub/old"}) << strings({"pub/keep"}) << strings({"/", "/pub/keep", "/pub"});
        QTest::newRow("a write-protected file: red lines up the chain, the rest deleted")
            << strings({"pub/old/x.txt", "pub/old/locked/y.txt"}) << locked << QStringList() << strings({"old"})
            << deleteOld
            << deleted("/pub/old/x.txt") + failed("/pub/old/locked/y.txt") + failed("/pub/old/locked/")
                + failed("/pub/old")
            << strings({"pub/old/x.txt"}) << strings({"pub/old/locked/y.txt"}) << pubOnly;
        QTest::newRow("a link to a folder inside the tree goes as a link")
            << strings({"pub/target/t.txt", "pub/old/x.txt", "pub/old/link@pub/target"}) << plain << QStringList()
            << strings({"old"}) << deleteOld
            << deleted("/pub/old/link") + deleted("/pub/old/x.txt") + deleted("/pub/old") << strings({"pub/old"})
            << strings({"pub/target/t.txt"}) << pubOnly;
        QTest::newRow("a link listed as a folder is not walked where the server's path gives it away")
            << strings({"pub/target/t.txt", "pub/old/x.txt", "pub/old/link@pub/target"}) << hidingLinks << QStringList()
            << strings({"old"}) << deleteOld
            << deleted("/pub/old/x.txt") + failed("/pub/old/link/") + failed("/pub/old") << strings({"pub/old/x.txt"})
            << strings({"pub/target/t.txt", "pub/old/link"}) << pubOnly;
        QTest::newRow("a selected link to a folder goes as a link")
            << strings({"pub/target/t.txt", "pub/shortcut@pub/target"}) << plain << QStringList()
            << strings({"shortcut"}) << question("MSDEL_DELETEIT1", "/pub/shortcut", "MSDEL_DELETEIT2")
            << deleted("/pub/shortcut") << strings({"pub/shortcut"}) << strings({"pub/target/t.txt"}) << pubOnly;
        QTest::newRow("'..' alone deletes nothing and asks nothing")
            << strings({"pub/a.txt"}) << plain << QStringList() << strings({".."}) << QString() << QStringList()
            << QStringList() << strings({"pub/a.txt"}) << pubOnly;
    }

    void deleteSelection()
    {
        QFETCH(QStringList, tree);
        QFETCH(FtpServerFixture::Options, server);
        QFETCH(QStringList, visit);
        QFETCH(QString, question);
        makeTree(tree);
        QVERIFY(startWith(server));
        for (const QString& folder : visit + strings({"/pub"}))
            QVERIFY(m_fixture->list([&] { m_fixture->pane->changeFolder(folder); }));
        m_fixture->select(testData<QStringList>("selection"));
        m_fixture->prompter.messageAnswers.enqueue(PromptAnswer::Yes);

        QVERIFY(m_fixture->run(RemoteCommand::Delete));
        const QList<MessageRequest>& asked = m_fixture->prompter.messages;
        QCOMPARE(asked.size(), question.isEmpty() ? 0 : 1);
        if (!question.isEmpty())
            QCOMPARE(asked.first().text, question);
        QTEST(m_fixture->lines, "lines");
        for (const QString& path : testData<QStringList>("gone"))
            QVERIFY2(!QFileInfo::exists(m_root->filePath(path)), qPrintable(path));
        for (const QString& path : testData<QStringList>("kept"))
            QVERIFY2(QFileInfo::exists(m_root->filePath(path)), qPrintable(path));
        QTEST(m_fixture->pane->pathBoxEntries(), "pathBox");
        // The list shows what is left, and the session stands in the folder shown.
        QCOMPARE(m_fixture->pane->folder(), QStringLiteral("/pub"));
        QStringList shown = namesOf(m_fixture->pane->rows()).mid(1);
        shown.sort();
        QCOMPARE(shown,
                 QDir(m_root->filePath(QStringLiteral("pub")))
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name));
        QCOMPARE(serverFolder(*m_runner), QStringLiteral("/pub"));
    }

    void newFolderAndRename_data()
    {
        QTest::addColumn<RemoteCommand>("command");
        QTest::addColumn<QString>("row");
        QTest::addColumn<InputAnswer>("answer");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("exist");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<int>("listings");
        QTest::addColumn<QString>("neverSent");

        const auto menuLines = [](const QString& name) {
            return QStringList{
                historyLine("black", question("FRMPUSERVER_DIRNEW1", qPrintable(name), "FRMPUSERVER_DIRNEW2")),
                historyKey("red", "FRMPUSERVER_DIRFAILED")};
        };
        const QString menuPrompt = getText("FRMPUSERVER_FOLDNAME");
        const InputAnswer cancelled{false, {}};
        // The toolbar re-connects first and still creates the folder where the pane stands; the
        // name goes to the server exactly as typed.
        QTest::newRow("new folder from the toolbar")
            << RemoteCommand::ToolbarNewFolder << QString() << InputAnswer{true, QStringLiteral("two  words ")}
            << getText("FRMSERVER_DIRNAME")
            << QStringList{historyLine("black", question("FRMSERVER_NEWDIR1", "two  words ", "FRMSERVER_NEWDIR2")),
                           historyKey("green", "FRMSERVER_GENOK")}
            << strings({"pub/two  words "}) << QStringList() << 1 << QString();
        QTest::newRow("new folder cancelled") << RemoteCommand::NewFolder << QString() << cancelled << menuPrompt
                                              << QStringList() << QStringList() << QStringList() << 0 << "MKD";
        QTest::newRow("new folder with a line break")
            << RemoteCommand::NewFolder << QString() << InputAnswer{true, QStringLiteral("x\r\nDELE a.txt")}
            << menuPrompt << menuLines(QStringLiteral("x\r\nDELE a.txt")) << strings({"pub/a.txt"}) << QStringList()
            << 0 << "MKD";

        const QString renamePrompt = getText("FRMPUSERVER_NEWNAME") + QStringLiteral(" a.txt ?");
        const QString renaming = historyKey("black", "FRMPUSERVER_RENAMEOF", QStringLiteral("a.txt"));
        QTest::newRow("rename") << RemoteCommand::Rename << "a.txt" << InputAnswer{true, QStringLiteral("b.txt")}
                                << renamePrompt << QStringList{renaming, historyKey("green", "FRMPUSERVER_RENAMEOK")}
                                << strings({"pub/b.txt"}) << strings({"pub/a.txt"}) << 1 << QString();
        QTest::newRow("rename onto a name in use")
            << RemoteCommand::Rename << "a.txt" << InputAnswer{true, QStringLiteral("docs")} << renamePrompt
            << QStringList{renaming, historyKey("red", "FRMPUSERVER_RENAMEFAILED")}
            << strings({"pub/a.txt", "pub/docs"}) << QStringList() << 0 << QString();
        QTest::newRow("rename cancelled") << RemoteCommand::Rename << "a.txt" << cancelled << renamePrompt
                                          << QStringList{renaming, historyKey("red", "FRMPUSERVER_RENAMECANCEL")}
                                          << strings({"pub/a.txt"}) << QStringList() << 0 << "RNFR";
    }

    void newFolderAndRename()
    {
        QFETCH(QString, row);
        QFETCH(QString, neverSent);
        makeTree(strings({"pub/a.txt", "pub/docs/"}));
        QVERIFY(startWith());
        QVERIFY(m_fixture->list([this] { m_fixture->pane->changeFolder(QStringLiteral("/pub")); }));
        if (!row.isEmpty())
            m_fixture->select({row});
        m_fixture->prompter.inputAnswers.enqueue(testData<InputAnswer>("answer"));

        QSignalSpy listed(m_fixture->pane, &RemotePane::listingFinished);
        QVERIFY(m_fixture->run(testData<RemoteCommand>("command")));
        QCOMPARE(m_fixture->prompter.inputs.size(), 1);
        QTEST(m_fixture->prompter.inputs.first().prompt, "prompt");
        QCOMPARE(m_fixture->prompter.inputs.first().defaultAnswer, row);
        QTEST(m_fixture->lines, "lines");
        for (const QString& path : testData<QStringList>("exist"))
            QVERIFY2(QFileInfo::exists(m_root->filePath(path)), qPrintable(path));
        for (const QString& path : testData<QStringList>("missing"))
            QVERIFY2(!QFileInfo::exists(m_root->filePath(path)), qPrintable(path));
        QTEST(int(listed.size()), "listings");
        if (!neverSent.isEmpty())
            QVERIFY(!m_server->serverLog().contains(neverSent));
        QCOMPARE(serverFolder(*m_runner), QStringLiteral("/pub"));
    }

    void openRemoteFile_data()
    {
        QTest::addColumn<RemoteCommand>("command");
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("hasProgram");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<bool>("chosen");

        const auto start = [](const char* key, const char* name) {
            return QStringList{historyKey("black", key, QString::fromLatin1(name)),
                               historyKey("green", "FRMPUSERVER_DOWNOK")};
        };
        const QStringList opened{historyKey("black", "FRMPUSERVER_OPEN", QStringLiteral("report.pdf")),
                                 historyKey("green", "FRMPUSERVER_OPENOK")};
        QTest::newRow("open with the registered program") << RemoteCommand::Open << "report.pdf" << true << false
                                                          << start("FRMPUSERVER_STARTDOWN", "report.pdf") + opened
                                                          << QString() << true << false;
        QTest::newRow("no program, No (toolbar texts)")
            << RemoteCommand::ToolbarOpen << "data.xyz" << false << false
            << QStringList{historyKey("black", "FRMSERVER_STARTDOWN", QStringLiteral("data.xyz")),
                           historyKey("green", "FRMSERVER_DOWNOK"), historyKey("red", "FRMSERVER_OPENCANCEL")}
            << getText("FRMSERVER_NOAPP1") + QLatin1Char('\n') + getText("FRMSERVER_NOAPP2") << false << false;
        QTest::newRow("no program, Yes: the chooser")
            << RemoteCommand::Open << "data.xyz" << false << true << start("FRMPUSERVER_STARTDOWN", "data.xyz")
            << getText("FRMPUSERVER_NOAPP1") + QLatin1Char('\n') + getText("FRMPUSERVER_NOAPP2") << false << true;
        QTest::newRow("open with a chosen program")
            << RemoteCommand::OpenWith << "report.pdf" << true << false
            << start("FRMPUSERVER_DOWNSTART", "report.pdf") + QStringList{historyKey("black", "FRMPUSERVER_OPENDIA")}
            << QString() << false << true;
        QTest::newRow("a folder row fetches nothing")
            << RemoteCommand::Open << "docs" << true << false
            << QStringList{historyKey("black", "FRMPUSERVER_STARTDOWN", QStringLiteral("docs")),
                           historyKey("red", "FRMPUSERVER_DOWNFAILED")}
            << QString() << false << false;
    }

    void openRemoteFile()
    {
        QFETCH(QString, row);
        QFETCH(QStringList, lines);
        QFETCH(QString, asked);
        makeTree(strings({"pub/report.pdf", "pub/data.xyz", "pub/docs/"}));
        QVERIFY(startWith());
        QVERIFY(m_fixture->list([this] { m_fixture->pane->changeFolder(QStringLiteral("/pub")); }));
        m_fixture->select({row});
        m_hasProgram = testData<bool>("hasProgram");
        m_fixture->prompter.messageAnswers.enqueue(testData<bool>("yes") ? PromptAnswer::Yes : PromptAnswer::No);

        QVERIFY(m_fixture->run(testData<RemoteCommand>("command")));
        QCOMPARE(m_fixture->lines, lines);
        QCOMPARE(m_fixture->prompter.messages.size(), asked.isEmpty() ? 0 : 1);
        if (!asked.isEmpty()) {
            QCOMPARE(m_fixture->prompter.messages.first().text, asked);
            QCOMPARE(m_fixture->prompter.messages.first().buttons, PromptButtons::YesNo);
        }
        // The file waits in the private folder, whatever became of it.
        const QString local = m_runtime.filePath(QStringLiteral("tempcorvc/") + row);
        const bool got = lines[1].startsWith(QLatin1String("green"));
        QCOMPARE(readFile(local), got ? QByteArray("pub/" + row.toUtf8()) : QByteArray("<missing>"));
        QCOMPARE(m_opened, testData<bool>("opened") ? QStringList{local} : QStringList());
        QCOMPARE(m_chosen, testData<bool>("chosen") ? QStringList{local} : QStringList());
    }

    void downloadAs()
    {
        makeTree(strings({"pub/good.txt", "pub/x..y"}));
        QVERIFY(writeFile(m_root->filePath(QStringLiteral("pub/big.bin")), QByteArray(64 * 1024, 'b')));
        QVERIFY(writeFile(m_local->filePath(QStringLiteral("kept.bin")), "the file that was here"));
        FtpServerFixture::Options options;
        options.brokenRetrName = QStringLiteral("big.bin");
        QVERIFY(startWith(options));
        QVERIFY(m_fixture->list([this] { m_fixture->pane->changeFolder(QStringLiteral("/pub")); }));
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
        QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden), strings({"kept.bin"}));
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

    // Serves the tree, connects and lists its root.
    bool startWith(const FtpServerFixture::Options& options = {})
    {
        m_server = std::make_unique<FtpServerFixture>(options);
        if (!m_server->start(m_root->path()))
            return false;
        m_runner = std::make_unique<SessionRunner>();
        const ConnectionSettings settings = settingsOf(*m_server);
        RemoteEnvironment environment{[settings] { return settings; },
                                      [this] { return m_local->path() + QLatin1Char('/'); },
                                      [this](const QString& folder) { m_shown.append(folder); },
                                      {}};
        environment.listLocalFolder = [this](const QString& folder) { m_listed.append(folder); };
        environment.openFile = [this](const QString& path) {
            if (m_hasProgram)
                m_opened.append(path);
            return m_hasProgram;
        };
        environment.chooseProgram = [this](const QString& path) { m_chosen.append(path); };
        m_fixture = std::make_unique<RemoteFixture>(*m_runner, environment);
        return m_fixture->connectAndList(settings);
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

    QTemporaryDir m_runtime;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<FtpServerFixture> m_server;
    std::unique_ptr<SessionRunner> m_runner;
    std::unique_ptr<RemoteFixture> m_fixture;
    QStringList m_opened; // files handed to the registered program
    QStringList m_chosen; // files handed to the chooser
    QStringList m_listed; // local folders listed in code order
    QStringList m_shown;  // local folders shown after a download
    bool m_hasProgram = false;
};

QTEST_MAIN(RemoteCommandsTest)
#include "tst_remotecommands.moc"
