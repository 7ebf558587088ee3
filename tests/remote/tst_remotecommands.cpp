#include "AccessibilityAudit.h"
#include "DownloadAsDialog.h"
#include "EntryListModel.h"
#include "FtpServerFixture.h"
#include "JobContext.h"
#include "NameLists.h"
#include "RemoteActions.h"
#include "RemoteIconStore.h"
#include "RemotePane.h"
#include "ScriptedPrompter.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(RemoteCommand)
Q_DECLARE_METATYPE(FtpServerFixture::Options)

namespace {

constexpr int jobTimeoutMilliseconds = 30'000;

QString line(const char* colour, const QString& text)
{
    return QLatin1String(colour) + QLatin1Char('\t') + text;
}

QString line(const char* colour, const char* key, const QString& after = {})
{
    return line(colour, after.isEmpty() ? getText(key) : getText(key) + QLatin1Char(' ') + after);
}

QStringList deleted(const char* path)
{
    return {line("black", "MDEL_DELFILE", QString::fromUtf8(path)), line("green", "MDEL_DELOK")};
}

QStringList failed(const char* path)
{
    return {line("black", "MDEL_DELFILE", QString::fromUtf8(path)), line("red", "MDEL_DELFAILED")};
}

QString question(const char* first, const QString& middle, const char* second)
{
    return getText(first) + QLatin1Char(' ') + middle + QLatin1Char(' ') + getText(second);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

// The remote commands end to end against a real server: what they do there, the history lines
// they write, their questions and the refreshes that follow.
class RemoteCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
        // Files downloaded for opening land here.
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        m_local = std::make_unique<QTemporaryDir>();
        m_lines.clear();
        m_opened.clear();
        m_chosen.clear();
        m_listed.clear();
        m_hasProgram = false;
    }

    void cleanup()
    {
        m_window.reset();
        m_runner.reset();
        m_server.reset();
        m_prompter.reset();
        m_root.reset();
        m_local.reset();
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
        QTest::newRow("two files in list order")
            << strings({"pub/a.txt", "pub/b.txt", "pub/c.txt"}) << plain << QStringList() << strings({"b.txt", "a.txt"})
            << question("MSDEL_FILEDEL1", QStringLiteral("2"), "MSDEL_FILEDEL2")
            << deleted("/pub/a.txt") + deleted("/pub/b.txt") << strings({"pub/a.txt", "pub/b.txt"})
            << strings({"pub/c.txt"}) << pubOnly;
        QTest::newRow("a folder: its files, then longer paths first; the path box cleaned")
            << strings({"pub/old/x.txt", "pub/old/sub/y.txt", "pub/keep/"}) << plain
            << strings({"/pub/old/sub", "/pub/keep"}) << strings({"old"})
            << question("MSDEL_FOLDDEL1", QStringLiteral("/pub/old"), "MSDEL_FOLDDEL2")
            << deleted("/pub/old/x.txt") + deleted("/pub/old/sub/y.txt") + deleted("/pub/old/sub/")
                   + deleted("/pub/old")
            << strings({"pub/old"}) << strings({"pub/keep"}) << strings({"/", "/pub/keep", "/pub"});
        QTest::newRow("a write-protected file: red lines up the chain, the rest deleted")
            << strings({"pub/old/x.txt", "pub/old/locked/y.txt"}) << locked << QStringList()
            << strings({"old"}) << question("MSDEL_FOLDDEL1", QStringLiteral("/pub/old"), "MSDEL_FOLDDEL2")
            << deleted("/pub/old/x.txt") + failed("/pub/old/locked/y.txt") + failed("/pub/old/locked/")
                   + failed("/pub/old")
            << strings({"pub/old/x.txt"}) << strings({"pub/old/locked/y.txt"}) << pubOnly;
        QTest::newRow("a link to a folder inside the tree goes as a link")
            << strings({"pub/target/t.txt", "pub/old/x.txt", "pub/old/link@pub/target"}) << plain << QStringList()
            << strings({"old"}) << question("MSDEL_FOLDDEL1", QStringLiteral("/pub/old"), "MSDEL_FOLDDEL2")
            << deleted("/pub/old/link") + deleted("/pub/old/x.txt") + deleted("/pub/old") << strings({"pub/old"})
            << strings({"pub/target/t.txt"}) << pubOnly;
        QTest::newRow("a link listed as a folder is not walked where the server's path gives it away")
            << strings({"pub/target/t.txt", "pub/old/x.txt", "pub/old/link@pub/target"}) << hidingLinks << QStringList()
            << strings({"old"}) << question("MSDEL_FOLDDEL1", QStringLiteral("/pub/old"), "MSDEL_FOLDDEL2")
            << deleted("/pub/old/x.txt") + failed("/pub/old/link/") + failed("/pub/old") << strings({"pub/old/x.txt"})
            << strings({"pub/target/t.txt", "pub/old/link"}) << pubOnly;
        QTest::newRow("a selected link to a folder goes as a link")
            << strings({"pub/target/t.txt", "pub/shortcut@pub/target"}) << plain << QStringList()
            << strings({"shortcut"})
            << question("MSDEL_DELETEIT1", QStringLiteral("/pub/shortcut"), "MSDEL_DELETEIT2")
            << deleted("/pub/shortcut") << strings({"pub/shortcut"}) << strings({"pub/target/t.txt"}) << pubOnly;
        QTest::newRow("'..' alone deletes nothing and asks nothing")
            << strings({"pub/a.txt"}) << plain << QStringList() << strings({".."}) << QString()
            << QStringList() << QStringList() << strings({"pub/a.txt"}) << pubOnly;
    }

    void deleteSelection()
    {
        QFETCH(QStringList, tree);
        QFETCH(FtpServerFixture::Options, server);
        QFETCH(QStringList, visit);
        QFETCH(QStringList, selection);
        QFETCH(QString, question);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, gone);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, pathBox);
        makeTree(tree);
        QVERIFY(startWith(server));
        for (const QString& folder : visit + strings({"/pub"}))
            QVERIFY(list([&] { m_pane->changeFolder(folder); }));
        select(selection);
        m_prompter->messageAnswers.enqueue(PromptAnswer::Yes);

        QVERIFY(run(RemoteCommand::Delete));
        QCOMPARE(m_prompter->messages.size(), question.isEmpty() ? 0 : 1);
        if (!question.isEmpty()) {
            QCOMPARE(m_prompter->messages.first().text, question);
            QCOMPARE(m_prompter->messages.first().buttons, PromptButtons::YesNo);
        }
        QCOMPARE(m_lines, lines);
        for (const QString& path : gone)
            QVERIFY2(!QFileInfo::exists(m_root->filePath(path)), qPrintable(path));
        for (const QString& path : kept)
            QVERIFY2(QFileInfo::exists(m_root->filePath(path)), qPrintable(path));
        QCOMPARE(m_pane->pathBoxEntries(), pathBox);
        // The list shows what is left, and the session stands in the folder shown.
        QCOMPARE(m_pane->folder(), QStringLiteral("/pub"));
        QStringList shown = namesOf(m_pane->rows()).mid(1);
        shown.sort();
        QCOMPARE(shown, QDir(m_root->filePath(QStringLiteral("pub")))
                            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name));
    }

    void newFolderAndRename_data()
    {
        QTest::addColumn<RemoteCommand>("command");
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("exist");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<int>("listings");
        QTest::addColumn<QString>("neverSent");

        const auto folderLines = [](const RemoteCommandKeysTexts& keys, const QString& name, bool ok) {
            return QStringList{line("black", getText(keys.first) + QLatin1Char(' ') + name + QLatin1Char(' ')
                                                 + getText(keys.second)),
                               ok ? line("green", keys.ok) : line("red", keys.failed)};
        };
        const RemoteCommandKeysTexts menu{"FRMPUSERVER_DIRNEW1", "FRMPUSERVER_DIRNEW2", "FRMPUSERVER_DIROK",
                                          "FRMPUSERVER_DIRFAILED"};
        const RemoteCommandKeysTexts pane{"FRMSERVER_NEWDIR1", "FRMSERVER_NEWDIR2", "FRMSERVER_GENOK",
                                          "FRMSERVER_GENFAIL"};
        const QString menuPrompt = getText("FRMPUSERVER_FOLDNAME");
        QTest::newRow("new folder") << RemoteCommand::NewFolder << QString() << true << QStringLiteral("neu")
                                    << menuPrompt
                                    << folderLines(menu, QStringLiteral("neu"), true) << strings({"pub/neu"})
                                    << QStringList() << 1 << QString();
        // The toolbar re-connects first and still creates the folder where the pane stands; the
        // name goes to the server exactly as typed.
        QTest::newRow("new folder from the toolbar")
            << RemoteCommand::ToolbarNewFolder << QString() << true << QStringLiteral("two  words ")
            << getText("FRMSERVER_DIRNAME") << folderLines(pane, QStringLiteral("two  words "), true)
            << strings({"pub/two  words "}) << QStringList() << 1 << QString();
        QTest::newRow("new folder of a name in use")
            << RemoteCommand::NewFolder << QString() << true << QStringLiteral("docs") << menuPrompt
            << folderLines(menu, QStringLiteral("docs"), false) << strings({"pub/docs"}) << QStringList() << 0
            << QString();
        QTest::newRow("new folder cancelled") << RemoteCommand::NewFolder << QString() << false << QString()
                                              << menuPrompt
                                              << QStringList() << QStringList() << QStringList() << 0
                                              << QStringLiteral("MKD");
        QTest::newRow("new folder with a line break")
            << RemoteCommand::NewFolder << QString() << true << QStringLiteral("x\r\nDELE a.txt") << menuPrompt
            << folderLines(menu, QStringLiteral("x\r\nDELE a.txt"), false) << strings({"pub/a.txt"}) << QStringList()
            << 0
            << QStringLiteral("MKD");

        const QString renamePrompt = getText("FRMPUSERVER_NEWNAME") + QStringLiteral(" a.txt ?");
        const QString renaming = line("black", "FRMPUSERVER_RENAMEOF", QStringLiteral("a.txt"));
        QTest::newRow("rename") << RemoteCommand::Rename << QStringLiteral("a.txt") << true << QStringLiteral("b.txt")
                                << renamePrompt << QStringList{renaming, line("green", "FRMPUSERVER_RENAMEOK")}
                                << strings({"pub/b.txt"}) << strings({"pub/a.txt"}) << 1 << QString();
        QTest::newRow("rename onto a name in use")
            << RemoteCommand::Rename << QStringLiteral("a.txt") << true << QStringLiteral("docs") << renamePrompt
            << QStringList{renaming, line("red", "FRMPUSERVER_RENAMEFAILED")} << strings({"pub/a.txt", "pub/docs"})
            << QStringList() << 0 << QString();
        QTest::newRow("rename cancelled") << RemoteCommand::Rename << QStringLiteral("a.txt") << false << QString()
                                          << renamePrompt
                                          << QStringList{renaming, line("red", "FRMPUSERVER_RENAMECANCEL")}
                                          << strings({"pub/a.txt"}) << QStringList() << 0 << QStringLiteral("RNFR");
    }

    void newFolderAndRename()
    {
        QFETCH(RemoteCommand, command);
        QFETCH(QString, row);
        QFETCH(bool, accepted);
        QFETCH(QString, answer);
        QFETCH(QString, prompt);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, exist);
        QFETCH(QStringList, missing);
        QFETCH(int, listings);
        QFETCH(QString, neverSent);
        makeTree(strings({"pub/a.txt", "pub/docs/"}));
        QVERIFY(startWith());
        QVERIFY(list([&] { m_pane->changeFolder(QStringLiteral("/pub")); }));
        if (!row.isEmpty())
            select({row});
        m_prompter->inputAnswers.enqueue({accepted, answer});

        QSignalSpy listed(m_pane, &RemotePane::listingFinished);
        QVERIFY(run(command));
        QCOMPARE(m_prompter->inputs.size(), 1);
        QCOMPARE(m_prompter->inputs.first().prompt, prompt);
        QCOMPARE(m_prompter->inputs.first().defaultAnswer, row);
        QCOMPARE(m_prompter->inputs.first().position, InputPosition::NearScreenCentre);
        QCOMPARE(m_lines, lines);
        for (const QString& path : exist)
            QVERIFY2(QFileInfo::exists(m_root->filePath(path)), qPrintable(path));
        for (const QString& path : missing)
            QVERIFY2(!QFileInfo::exists(m_root->filePath(path)), qPrintable(path));
        QCOMPARE(listed.size(), listings);
        if (!neverSent.isEmpty())
            QVERIFY(!m_server->serverLog().contains(neverSent));
        QCOMPARE(serverFolder(), QStringLiteral("/pub"));
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

        const QString menuNoApp = getText("FRMPUSERVER_NOAPP1") + QLatin1Char('\n') + getText("FRMPUSERVER_NOAPP2");
        const QString report = QStringLiteral("report.pdf");
        QTest::newRow("open with the registered program")
            << RemoteCommand::Open << report << true << false
            << QStringList{line("black", "FRMPUSERVER_STARTDOWN", report), line("green", "FRMPUSERVER_DOWNOK"),
                           line("black", "FRMPUSERVER_OPEN", report), line("green", "FRMPUSERVER_OPENOK")}
            << QString() << true << false;
        QTest::newRow("no program, No (toolbar texts)")
            << RemoteCommand::ToolbarOpen << QStringLiteral("data.xyz") << false << false
            << QStringList{line("black", "FRMSERVER_STARTDOWN", QStringLiteral("data.xyz")),
                           line("green", "FRMSERVER_DOWNOK"), line("red", "FRMSERVER_OPENCANCEL")}
            << getText("FRMSERVER_NOAPP1") + QLatin1Char('\n') + getText("FRMSERVER_NOAPP2") << false << false;
        QTest::newRow("no program, Yes: the chooser")
            << RemoteCommand::Open << QStringLiteral("data.xyz") << false << true
            << QStringList{line("black", "FRMPUSERVER_STARTDOWN", QStringLiteral("data.xyz")),
                           line("green", "FRMPUSERVER_DOWNOK")}
            << menuNoApp << false << true;
        QTest::newRow("open with a chosen program")
            << RemoteCommand::OpenWith << report << true << false
            << QStringList{line("black", "FRMPUSERVER_DOWNSTART", report), line("green", "FRMPUSERVER_DOWNOK"),
                           line("black", "FRMPUSERVER_OPENDIA")}
            << QString() << false << true;
        QTest::newRow("a folder row fetches nothing")
            << RemoteCommand::Open << QStringLiteral("docs") << true << false
            << QStringList{line("black", "FRMPUSERVER_STARTDOWN", QStringLiteral("docs")),
                           line("red", "FRMPUSERVER_DOWNFAILED")}
            << QString() << false << false;
    }

    void openRemoteFile()
    {
        QFETCH(RemoteCommand, command);
        QFETCH(QString, row);
        QFETCH(bool, hasProgram);
        QFETCH(bool, yes);
        QFETCH(QStringList, lines);
        QFETCH(QString, asked);
        QFETCH(bool, opened);
        QFETCH(bool, chosen);
        makeTree(strings({"pub/report.pdf", "pub/data.xyz", "pub/docs/"}));
        QVERIFY(startWith());
        QVERIFY(list([&] { m_pane->changeFolder(QStringLiteral("/pub")); }));
        select({row});
        m_hasProgram = hasProgram;
        m_prompter->messageAnswers.enqueue(yes ? PromptAnswer::Yes : PromptAnswer::No);

        QVERIFY(run(command));
        QCOMPARE(m_lines, lines);
        QCOMPARE(m_prompter->messages.size(), asked.isEmpty() ? 0 : 1);
        if (!asked.isEmpty()) {
            QCOMPARE(m_prompter->messages.first().text, asked);
            QCOMPARE(m_prompter->messages.first().icon, PromptIcon::None);
            QCOMPARE(m_prompter->messages.first().buttons, PromptButtons::YesNo);
        }
        // The file waits in the private folder, whatever became of it.
        const QString local = m_runtime.filePath(QStringLiteral("tempcorvc/") + row);
        const bool fetched = lines.size() > 1 && lines[1].startsWith(QLatin1String("green"));
        QCOMPARE(readFile(local), fetched ? QByteArray("pub/" + row.toUtf8()) : QByteArray("<missing>"));
        QCOMPARE(m_opened, opened ? QStringList{local} : QStringList());
        QCOMPARE(m_chosen, chosen ? QStringList{local} : QStringList());
    }

    void downloadAs()
    {
        makeTree(strings({"pub/big.bin", "pub/good.txt", "pub/x..y"}));
        writeFile(m_root->filePath(QStringLiteral("pub/big.bin")), QByteArray(64 * 1024, 'b'));
        writeFile(m_local->filePath(QStringLiteral("kept.bin")), "the file that was here");
        FtpServerFixture::Options options;
        options.brokenRetrName = QStringLiteral("big.bin");
        QVERIFY(startWith(options));
        QVERIFY(list([&] { m_pane->changeFolder(QStringLiteral("/pub")); }));
        const QString target = m_local->path() + QLatin1Char('/');

        // A row holding ".." opens nothing.
        QVERIFY(!openDownloadAs(QStringLiteral("x..y")));

        // A transfer that breaks leaves the local file as it was.
        DownloadAsDialog* dialog = openDownloadAs(QStringLiteral("big.bin"));
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblName"))->text(), QStringLiteral("big.bin"));
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lblGroesse"))->text(), QStringLiteral("64 KB"));
        QVERIFY(!dialog->typeLabel()->text().isEmpty());
        QCOMPARE(dialog->newNameEdit()->selectedText(), QStringLiteral("big.bin"));
        const QStringList problems = AccessibilityAudit::problems(dialog);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        QVERIFY(confirm(dialog, QStringLiteral("  kept.bin ")));
        QCOMPARE(readFile(m_local->filePath(QStringLiteral("kept.bin"))), QByteArray("the file that was here"));

        // Names that would leave the folder are refused in the dialog; a complete transfer replaces.
        dialog = openDownloadAs(QStringLiteral("good.txt"));
        QVERIFY(dialog);
        for (const QString& name : {QStringLiteral("../good.txt"), QStringLiteral(" .. "), QStringLiteral("a/b")}) {
            dialog->newNameEdit()->setText(name);
            dialog->downloadButton()->click();
            QVERIFY(dialog->isVisible());
            QCOMPARE(m_prompter->messages.last().text, getText("FRMDOWNLOADALS_BADNAME"));
        }
        QCOMPARE(m_prompter->messages.size(), 3);
        QVERIFY(confirm(dialog, QStringLiteral("kept.bin")));
        QCOMPARE(readFile(m_local->filePath(QStringLiteral("kept.bin"))), QByteArray("pub/good.txt"));

        const auto starting = [&target](const char* name) {
            return line("black", QStringLiteral("Aktion: Starte Download von %1 als %2kept.bin")
                                     .arg(QLatin1String(name), target));
        };
        const QStringList lines{starting("big.bin"), line("red", QStringLiteral("Status: Dowload fehlgeschlagen")),
                                starting("good.txt"), line("green", QStringLiteral("Status: Dowload erfolgreich"))};
        QCOMPARE(m_lines, lines);
        QCOMPARE(m_listed, QStringList(2, target));
        QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden), strings({"kept.bin"}));
    }

private:
    struct RemoteCommandKeysTexts {
        const char* first;
        const char* second;
        const char* ok;
        const char* failed;
    };

    static void writeFile(const QString& path, const QByteArray& content)
    {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }

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
                writeFile(path, entry.toUtf8());
            }
        }
    }

    bool startWith(FtpServerFixture::Options options = {})
    {
        m_server = std::make_unique<FtpServerFixture>(options);
        if (!m_server->start(m_root->path()))
            return false;
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_runner = std::make_unique<SessionRunner>();
        m_runner->setMessageHandler(
            [this](const MessageRequest& request) { return m_prompter->message(request, nullptr); });
        m_runner->setInputHandler([this](const InputRequest& request) { return m_prompter->input(request, nullptr); });
        const auto append = [this](const QString& text, HistoryColour colour) {
            m_lines.append(colourName(colour) + QLatin1Char('\t') + text);
        };
        connect(m_runner.get(), &JobRunner::historyLine, this, append);
        m_window = std::make_unique<QWidget>();
        m_pane = new RemotePane(*m_runner, m_icons, m_window.get());
        const ConnectionSettings settings{m_server->host(), m_server->portText(), FtpServerFixture::user(),
                                          FtpServerFixture::password(), true};
        RemoteEnvironment environment{[settings] { return settings; },
                                      [this] { return m_local->path() + QLatin1Char('/'); }, [](const QString&) {},
                                      append};
        environment.listLocalFolder = [this](const QString& folder) { m_listed.append(folder); };
        environment.openFile = [this](const QString& path) {
            if (m_hasProgram)
                m_opened.append(path);
            return m_hasProgram;
        };
        environment.chooseProgram = [this](const QString& path) { m_chosen.append(path); };
        m_actions = new RemoteActions(*m_pane, *m_runner, environment, m_window.get());

        QSignalSpy idle(m_runner.get(), &JobRunner::idle);
        m_runner->start([settings](JobContext& context) { context.session().openConnection(settings); });
        return idle.wait(jobTimeoutMilliseconds) && m_runner->isConnected()
               && list([this] { m_pane->refreshRemote(true); });
    }

    bool list(const std::function<void()>& action)
    {
        QSignalSpy finished(m_pane, &RemotePane::listingFinished);
        action();
        return finished.wait(jobTimeoutMilliseconds);
    }

    // Triggers command and waits until everything it started has ended.
    bool run(RemoteCommand command)
    {
        QSignalSpy idle(m_runner.get(), &JobRunner::idle);
        m_actions->action(command)->trigger();
        return !m_runner->isBusy() || idle.wait(jobTimeoutMilliseconds);
    }

    // Selects the rows of names; the first becomes the current row.
    void select(const QStringList& names)
    {
        QItemSelectionModel* selection = m_pane->listView()->selectionModel();
        selection->clearSelection();
        const QStringList rows = namesOf(m_pane->rows());
        for (const QString& name : names) {
            const QModelIndex index = m_pane->model()->index(static_cast<int>(rows.indexOf(name)), 0);
            QVERIFY2(index.isValid(), qPrintable(name));
            selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            if (name == names.first())
                selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
    }

    DownloadAsDialog* openDownloadAs(const QString& name)
    {
        select({name});
        m_actions->action(RemoteCommand::DownloadAs)->trigger();
        // A dialog closed before waits for the event loop to delete it.
        for (DownloadAsDialog* dialog : m_window->findChildren<DownloadAsDialog*>()) {
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
        return !dialog->isVisible() && idle.wait(jobTimeoutMilliseconds);
    }

    QString serverFolder()
    {
        QString folder;
        QSignalSpy idle(m_runner.get(), &JobRunner::idle);
        m_runner->start<QString>([](JobContext& context) { return context.session().ftpCurrentDir(); },
                                 [&folder](QString current) { folder = current; });
        idle.wait(jobTimeoutMilliseconds);
        return folder;
    }

    QTemporaryDir m_runtime;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<FtpServerFixture> m_server;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<SessionRunner> m_runner;
    RemoteIconStore m_icons;
    std::unique_ptr<QWidget> m_window;
    RemotePane* m_pane = nullptr;
    RemoteActions* m_actions = nullptr;
    QStringList m_lines;  // "colour<TAB>text", from the jobs and the GUI side alike
    QStringList m_opened; // files handed to the registered program
    QStringList m_chosen; // files handed to the chooser
    QStringList m_listed; // local folders listed in code order
    bool m_hasProgram = false;
};

QTEST_MAIN(RemoteCommandsTest)
#include "tst_remotecommands.moc"
