#include "ApplicationChooser.h"
#include "AsciiList.h"
#include "FolderTree.h"
#include "LocalCommands.h"
#include "LocalFileOperations.h"
#include "LocalFixture.h"
#include "PropertiesDialog.h"
#include "UploadAsDialog.h"
#include "UploadCommands.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(LocalCommand)

namespace {

// Every program this test starts is the recorder: it writes the number of its arguments and each
// argument on a line of the file $FTPCLIENT_RECORD.
void setUpDesktop(const QString& folder)
{
    const QByteArray base = QFile::encodeName(folder);
    qputenv("XDG_CONFIG_HOME", base + "/config");
    qputenv("XDG_DATA_HOME", base + "/data");
    qputenv("FTPCLIENT_RECORD", base + "/record.txt");
    // No desktop answers: the commands fall back to our own dialogs.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + base + "/no-bus");
    const QString recorder = folder + QStringLiteral("/recorder.sh");
    writeFile(recorder,
              "#!/bin/sh\n{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > \"$FTPCLIENT_RECORD.part\"\n"
              "mv \"$FTPCLIENT_RECORD.part\" \"$FTPCLIENT_RECORD\"\n");
    QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(folder + QStringLiteral("/data/applications/ftpclient-recorder.desktop"),
              "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + QFile::encodeName(recorder)
                  + " %f\nMimeType=text/plain;\n");
    // A program for tables that needs a terminal, which the test's path does not hold.
    writeFile(folder + QStringLiteral("/data/applications/ftpclient-terminal.desktop"),
              "[Desktop Entry]\nType=Application\nName=Console\nExec=" + QFile::encodeName(recorder)
                  + " %f\nTerminal=true\nMimeType=text/csv;\n");
    writeFile(folder + QStringLiteral("/config/mimeapps.list"),
              "[Default Applications]\ntext/plain=ftpclient-recorder.desktop\ntext/csv=ftpclient-terminal.desktop\n");
}

QString recordFile()
{
    return qEnvironmentVariable("FTPCLIENT_RECORD");
}

// The arguments the recorder was started with, once it has written them.
QStringList recordedArguments()
{
    if (!QTest::qWaitFor([] { return QFile::exists(recordFile()); }, jobTimeout))
        return {};
    QStringList lines = QString::fromLocal8Bit(readFile(recordFile())).split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

// What is in folder, in code order.
QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden, QDir::Name);
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

} // namespace

// The local commands on a folder of the test's own: what they do on disk, their questions and
// history lines, and how the pane shows the result; uploads go to the server in memory.
class LocalCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        useCatalogue("deutsch");
        QVERIFY(AsciiList::save(strings({"HTML"})));
    }

    void init()
    {
        // root/ Alpha/Inner/  Alpha/inside.txt  beta/  file.txt  Z.txt; outside/ kept.txt
        m_dir = std::make_unique<QTemporaryDir>();
        m_outside = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + QLatin1Char('/');
        QVERIFY(QDir(m_root).mkpath(QStringLiteral("Alpha/Inner")) && QDir(m_root).mkpath(QStringLiteral("beta")));
        for (const char* file : {"file.txt", "Z.txt", "Alpha/inside.txt"})
            QVERIFY(writeFile(m_root + QString::fromLatin1(file), file));
        QVERIFY(writeFile(m_outside->filePath(QStringLiteral("kept.txt")), "kept"));
        QFile::remove(recordFile());
        m_fixture = std::make_unique<LocalFixture>(m_dir->path());
        m_pane = &m_fixture->pane;
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane));
    }

    void cleanup()
    {
        m_fixture.reset();
        m_dir.reset();
        m_outside.reset();
    }

    void newFolder_data()
    {
        QTest::addColumn<LocalCommand>("command");
        QTest::addColumn<InputAnswer>("answer");
        QTest::addColumn<QString>("outcome"); // the key of the second line, if there are lines
        const InputAnswer named{true, QStringLiteral("Neu")};
        QTest::newRow("context menu") << LocalCommand::NewFolder << named << "FRMPULOC_GENOK";
        QTest::newRow("toolbar") << LocalCommand::ToolbarNewFolder << named << "FRMPULOC_GENOK";
        QTest::newRow("name of a file")
            << LocalCommand::NewFolder << InputAnswer{true, QStringLiteral("inside.txt")} << "FRMPULOC_GENFAIL";
        QTest::newRow("name with a slash")
            << LocalCommand::NewFolder << InputAnswer{true, QStringLiteral("a/b")} << "FRMPULOC_GENFAIL";
        QTest::newRow("empty name") << LocalCommand::NewFolder << InputAnswer{true, QString()} << QString();
        QTest::newRow("cancelled") << LocalCommand::NewFolder << InputAnswer{} << QString();
    }

    void newFolder()
    {
        QFETCH(LocalCommand, command);
        QFETCH(InputAnswer, answer);
        QFETCH(QString, outcome);
        const QString alpha = m_root + QStringLiteral("Alpha/");
        m_pane->choosePath(alpha);
        m_fixture->prompter.inputAnswers.enqueue(answer);
        m_fixture->actions->action(command)->trigger();

        QCOMPARE(m_fixture->prompter.inputs.size(), 1);
        const bool created = outcome == QLatin1String("FRMPULOC_GENOK");
        QStringList expected;
        if (!outcome.isEmpty())
            expected << historyLine("black", QStringLiteral("Aktion: Lege Verzeichnis %1 an").arg(alpha + answer.text))
                     << historyKey(created ? "green" : "red", outcome.toLatin1().constData());
        QCOMPARE(m_fixture->lines, expected);
        QCOMPARE(entriesOf(alpha),
                 created ? strings({"Inner", "Neu", "inside.txt"}) : strings({"Inner", "inside.txt"}));
        QVERIFY(QFileInfo(alpha + QStringLiteral("inside.txt")).isFile());
        if (!created)
            return;
        // The tree is rebuilt and open down to the folder, whose node shows the new folder.
        QTreeWidgetItem* node = m_fixture->tree()->currentItem();
        QCOMPARE(FolderTree::keyOf(node), alpha);
        QVERIFY(node->isExpanded());
        QCOMPARE(m_fixture->treeNames(node), strings({"Inner", "Neu"}));
        QCOMPARE(m_pane->listedFolder(), alpha);
        // The context menu lists without the folder letter, the toolbar with the pane's own.
        QCOMPARE(m_fixture->rows()[1], command == LocalCommand::NewFolder ? QStringLiteral("Neu||Dateiordner|")
                                                                          : QStringLiteral("Neu||Dateiordner|D"));
    }

    void rename_data()
    {
        QTest::addColumn<LocalCommand>("command");
        QTest::addColumn<QString>("old");
        QTest::addColumn<InputAnswer>("answer");
        QTest::addColumn<QStringList>("names"); // afterwards, as a successful rename lists them
        QTest::addColumn<QString>("outcome");   // the key of the last line
        const auto to = [](const char* name) { return InputAnswer{true, QString::fromUtf8(name)}; };
        const QStringList unchanged = strings({"Alpha", "beta", "Z.txt", "file.txt"});
        QTest::newRow("file") << LocalCommand::Rename << "file.txt" << to("neu.txt")
                              << strings({"Alpha", "beta", "Z.txt", "neu.txt"}) << "FRMPULOC_RENOK";
        QTest::newRow("onto an existing file")
            << LocalCommand::Rename << "file.txt" << to("Z.txt") << unchanged << "FRMPULOC_RENFAILED";
        QTest::newRow("folder") << LocalCommand::MainMenuRename << "beta" << to("gamma")
                                << strings({"Alpha", "gamma", "file.txt", "Z.txt"}) << "FRMPULOC_RENOK";
        QTest::newRow("name with a slash")
            << LocalCommand::Rename << "file.txt" << to("Alpha/x") << unchanged << "FRMPULOC_RENFAILED";
        QTest::newRow("cancelled") << LocalCommand::Rename << "file.txt" << InputAnswer{} << unchanged
                                   << "FRMPULOC_RENCANCEL";
    }

    void rename()
    {
        QFETCH(LocalCommand, command);
        QFETCH(QString, old);
        QFETCH(QStringList, names);
        QFETCH(QString, outcome);
        m_pane->choosePath(m_root + QStringLiteral("beta"));
        m_pane->choosePath(m_dir->path());
        const QDateTime written = QDateTime(QDate(2004, 12, 31), QTime(23, 30), Qt::UTC);
        QFile renamed(m_root + QStringLiteral("file.txt"));
        QVERIFY(renamed.open(QIODevice::ReadWrite) && renamed.setFileTime(written, QFileDevice::FileModificationTime));
        renamed.close();
        m_fixture->select({old});
        m_fixture->prompter.inputAnswers.enqueue(testData<InputAnswer>("answer"));
        m_fixture->actions->action(command)->trigger();

        QCOMPARE(m_fixture->prompter.inputs.size(), 1);
        QCOMPARE(m_fixture->prompter.inputs[0].defaultAnswer, old);
        const bool ok = outcome == QLatin1String("FRMPULOC_RENOK");
        QCOMPARE(m_fixture->lines, QStringList({historyKey("black", "FRMPULOC_RENAME2", old),
                                                historyKey(ok ? "green" : "red", outcome.toLatin1().constData())}));
        // On disk as the names say; an existing target keeps its content.
        QCOMPARE(entriesOf(m_root), sorted(names));
        QCOMPARE(readFile(m_root + QStringLiteral("Z.txt")), QByteArray("Z.txt"));
        if (!ok)
            return;
        QCOMPARE(namesOf(m_pane->entries()), names);
        if (command == LocalCommand::Rename) {
            // One atomic rename: the content and the time of the file stay.
            QCOMPARE(readFile(m_root + QStringLiteral("neu.txt")), QByteArray("file.txt"));
            QCOMPARE(QFileInfo(m_root + QStringLiteral("neu.txt")).lastModified().toUTC(), written);
            return;
        }
        // A renamed folder: the tree and the path box follow, the list has the pane's letters.
        QCOMPARE(m_fixture->rows()[1], QStringLiteral("gamma||Dateiordner|D"));
        QCOMPARE(m_fixture->treeNames(), strings({"Alpha", "gamma"}));
        QCOMPARE(m_fixture->pathBox()->count(), 1);
    }

    // A command that cannot go on says why, and does nothing.
    void messageInsteadOfTheCommand_data()
    {
        QTest::addColumn<LocalCommand>("command");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QString>("key");
        const QStringList one{QStringLiteral("file.txt")};
        const QStringList two = strings({"file.txt", "Z.txt"});
        QTest::newRow("rename of two") << LocalCommand::Rename << two << "FRMPOPLOC_ONEFILE";
        QTest::newRow("upload as of two") << LocalCommand::UploadAs << two << "FRMPULOC_ONEFILE";
        QTest::newRow("upload without a connection") << LocalCommand::Upload << one << "MPUB_NOCONN";
        QTest::newRow("context menu's upload without a connection")
            << LocalCommand::UploadFromMenu << one << "FRMPULOC_NOCONN";
        QTest::newRow("upload as without a connection") << LocalCommand::UploadAs << one << "FRMPULOC_NOCONN";
    }

    void messageInsteadOfTheCommand()
    {
        m_fixture->select(testData<QStringList>("selected"));
        m_fixture->actions->action(testData<LocalCommand>("command"))->trigger();
        QCOMPARE(m_fixture->prompter.messages.size(), 1);
        QCOMPARE(m_fixture->prompter.messages[0].text, getText(testData<QString>("key").toLatin1().constData()));
        QVERIFY(m_fixture->prompter.inputs.isEmpty() && !m_pane->findChild<UploadAsDialog*>());
        QVERIFY(m_fixture->lines.isEmpty() && m_fixture->server.calls.isEmpty());
    }

    void uploadsGoToTheFolderTheRemotePaneShows()
    {
        QVERIFY(runJob(m_fixture->runner, [](JobContext& context) { context.session().openConnection({}); }));
        QVERIFY(writeFile(m_root + QStringLiteral("notes.txt"), "a\nb"));
        m_pane->refreshLocal();
        m_fixture->select(strings({"Alpha", "file.txt"}));
        QSignalSpy finished(&m_fixture->actions->commands().uploads(), &UploadCommands::uploadFinished);
        m_fixture->actions->action(LocalCommand::Upload)->trigger();
        QVERIFY(finished.wait(jobTimeout));
        QCOMPARE(m_fixture->server.content(QStringLiteral("/pub/file.txt")), QByteArray("file.txt"));
        QCOMPARE(m_fixture->server.content(QStringLiteral("/pub/Alpha/inside.txt")), QByteArray("Alpha/inside.txt"));
        // The queue's worker shares the server in memory, and closed its connection when it was done.
        QVERIFY(runJob(m_fixture->runner, [](JobContext& context) { context.session().openConnection({}); }));
        // Upload as: the new name is trimmed, and the list of the user's (HTML) makes it ASCII.
        m_fixture->select({QStringLiteral("notes.txt")});
        m_fixture->actions->action(LocalCommand::UploadAs)->trigger();
        auto* dialog = m_pane->findChild<UploadAsDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        dialog->newNameEdit()->setText(QStringLiteral(" notes.html "));
        dialog->findChild<QPushButton*>(QStringLiteral("cmdUpload"))->click();
        QVERIFY(finished.wait(jobTimeout));
        QCOMPARE(m_fixture->server.content(QStringLiteral("/pub/notes.html")), QByteArray("a\nb"));
        const QStringList& calls = m_fixture->server.calls;
        const qsizetype store = calls.indexOf(QRegularExpression(QStringLiteral("^STOR notes\\.html\\..*\\.part$")));
        QCOMPARE(calls.at(store - 1), QStringLiteral("TYPE A"));
        QCOMPARE(m_fixture->lines.last(), historyKey("green", "MPUB_UPOK"));
        QCOMPARE(m_fixture->remoteRefreshes, 2);
        // An edited copy goes from its own folder to the server file it came from, name as listed.
        bool sent = false;
        m_fixture->server.addFolder(QStringLiteral("/pub/a"));
        m_fixture->actions->commands().uploads().uploadCopy(m_root + QStringLiteral("Alpha/inside.txt"),
                                                            QStringLiteral("/pub/a"), QStringLiteral(" x.bin"),
                                                            [&sent](bool taken) { sent = taken; });
        QTRY_VERIFY_WITH_TIMEOUT(sent, jobTimeout);
        QCOMPARE(m_fixture->server.content(QStringLiteral("/pub/a/ x.bin")), QByteArray("Alpha/inside.txt"));
        QVERIFY(m_fixture->prompter.messages.isEmpty());
    }

    void deleteEntries_data()
    {
        QTest::addColumn<QStringList>("selection");
        QTest::addColumn<QString>("broken"); // what becomes of Alpha after the selection
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question"); // ROOT stands for the folder shown
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("left"); // in code order, folders first
        const QString begin = historyLine("black", QStringLiteral("Aktion: Beginne mit löschen"));
        const QString done = historyKey("green", "MSDEL_DELSUCC");
        const QString failed = historyKey("red", "MSDEL_DELFAILED");
        const auto willDelete = [](const char* name) {
            return historyKey("black", "MSDEL_WILLDELETE1", QStringLiteral("ROOT/") + QLatin1String(name));
        };
        const auto deleting = [](const char* name) {
            return historyKey("black", "MSDEL_DELETE", QStringLiteral("ROOT/") + QLatin1String(name));
        };
        const auto asking = [](const char* first, const QString& what, const char* second) {
            return getText(first) + QLatin1Char(' ') + what + QLatin1Char(' ') + getText(second);
        };
        const QString three = asking("MSDEL_FILEDEL1", QStringLiteral("3"), "MSDEL_FILEDEL2");
        // Alpha holds a link to a folder outside; "link" is one: only the links go.
        QTest::newRow("three entries")
            << strings({"Alpha", "link", "file.txt"}) << QString() << true << three
            << QStringList{begin, willDelete("Alpha"), done, willDelete("link"), done, willDelete("file.txt"), done}
            << strings({"beta", "v1.0", "README", "Z.txt"});
        // The wording follows the kind of the entry, not the dots of its name.
        QTest::newRow("file without a dot")
            << strings({"README"}) << QString() << true
            << asking("MSDEL_DELETEIT1", QStringLiteral("ROOT/README"), "MSDEL_DELETEIT2")
            << QStringList{deleting("README"), done} << strings({"Alpha", "beta", "link", "v1.0", "Z.txt", "file.txt"});
        QTest::newRow("folder with a dot")
            << strings({"v1.0"}) << QString() << true
            << asking("MSDEL_FOLDDEL1", QStringLiteral("ROOT/v1.0"), "MSDEL_FOLDDEL2")
            << QStringList{deleting("v1.0"), done} << strings({"Alpha", "beta", "link", "README", "Z.txt", "file.txt"});
        QTest::newRow("No") << strings({"beta", "Z.txt"}) << QString() << false
                            << asking("MSDEL_FILEDEL1", QStringLiteral("2"), "MSDEL_FILEDEL2")
                            << QStringList{begin, historyKey("red", "MSDEL_DELCANCEL")}
                            << strings({"Alpha", "beta", "link", "v1.0", "README", "Z.txt", "file.txt"});
        // What is gone already counts as deleted; a failure is shown and goes on with the next.
        const auto threeLines = [&](const QString& first) {
            return QStringList{begin, willDelete("Alpha"), first, willDelete("file.txt"),
                               done,  willDelete("Z.txt"), done};
        };
        QTest::newRow("removed meanwhile") << strings({"Alpha", "file.txt", "Z.txt"}) << "removed" << true << three
                                           << threeLines(done) << strings({"beta", "link", "v1.0", "README"});
        QTest::newRow("in a read-only folder") << strings({"Alpha", "file.txt", "Z.txt"}) << "read-only" << true
                                               << three << threeLines(failed)
                                               << strings({"Alpha", "beta", "link", "v1.0", "README"});
    }

    void deleteEntries()
    {
        QFETCH(QStringList, selection);
        QFETCH(QString, broken);
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        if (broken == QLatin1String("read-only") && ::geteuid() == 0)
            QSKIP("the super-user may delete anything");
        QVERIFY(writeFile(m_root + QStringLiteral("README")) && QDir(m_root).mkdir(QStringLiteral("v1.0")));
        QVERIFY(QFile::link(m_outside->path(), m_root + QStringLiteral("Alpha/outside")));
        QVERIFY(QFile::link(m_outside->path(), m_root + QStringLiteral("link")));
        // Visit a folder, so that the path box has an entry to lose.
        const QString alpha = m_root + QStringLiteral("Alpha");
        m_pane->choosePath(alpha);
        m_pane->choosePath(m_dir->path());
        m_fixture->select(selection);
        if (broken == QLatin1String("removed"))
            QVERIFY(QDir(alpha).removeRecursively());
        else if (!broken.isEmpty())
            QVERIFY(QFile::setPermissions(alpha, QFile::ReadOwner | QFile::ExeOwner));
        m_fixture->prompter.messageAnswers.enqueue(yes ? PromptAnswer::Yes : PromptAnswer::No);
        QSignalSpy finished(&m_fixture->actions->commands(), &LocalCommands::deleteFinished);
        QSignalSpy progress(&m_fixture->actions->commands(), &LocalCommands::progressChanged);
        // The Delete key of the list runs the same command as the menus.
        m_fixture->detailView()->setFocus();
        QTest::keyClick(m_fixture->detailView(), Qt::Key_Delete);
        QVERIFY(!yes || finished.wait(jobTimeout));
        QFile::setPermissions(alpha, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const QString root = m_dir->path();
        const QList<MessageRequest>& messages = m_fixture->prompter.messages;
        const bool failing = broken == QLatin1String("read-only");
        QCOMPARE(messages.size(), failing ? 2 : 1);
        QCOMPARE(messages[0].buttons, PromptButtons::YesNo);
        QCOMPARE(messages[0].text, testData<QString>("question").replace(QStringLiteral("ROOT"), root));
        // The error names what could not go.
        QVERIFY(!failing || messages[1].icon == PromptIcon::Critical);
        QVERIFY(!failing || messages[1].text.startsWith(alpha + QLatin1Char('/')));
        QCOMPARE(m_fixture->lines, testData<QStringList>("lines").replaceInStrings(QStringLiteral("ROOT"), root));
        QCOMPARE(entriesOf(m_root), sorted(left));
        QCOMPARE(readFile(m_outside->filePath(QStringLiteral("kept.txt"))), QByteArray("kept"));
        if (!yes) {
            QCOMPARE(m_fixture->pathBox()->count(), 2);
            QVERIFY(progress.isEmpty());
            return;
        }
        // Listed in code order with the letters of its own; the tree and the path box no longer
        // show what went.
        QCOMPARE(namesOf(m_pane->entries()), left);
        QVERIFY2(m_fixture->rows()[0].endsWith(QLatin1Char('D')), qPrintable(m_fixture->rows()[0]));
        QStringList folders = left;
        folders.removeIf([this](const QString& name) { return !QFileInfo(m_root + name).isDir(); });
        QCOMPARE(m_fixture->treeNames(), folders);
        QCOMPARE(m_fixture->pathBox()->count(), QFileInfo::exists(alpha) ? 2 : 1);
        QVERIFY(failing || progress.last()[0] == progress.last()[1]);
    }

    // A chain deeper than a small thread's stack or the descriptor limit goes, built and removed
    // relative to open folders; the two files at its bottom vanish at the first removal.
    void deepTreeWithVanishingFiles_data()
    {
        QTest::addColumn<int>("levels");
        QTest::addColumn<uint>("stack");     // bytes; 0: the system's default
        QTest::addColumn<rlim_t>("fileLimit"); // 0: unchanged
        QTest::newRow("30,000 levels on a small stack") << 30000 << 256u * 1024 << rlim_t(0);
        QTest::newRow("deeper than the descriptor limit") << 300 << 0u << rlim_t(64);
        QTest::newRow("files vanish meanwhile") << 1 << 0u << rlim_t(0);
    }

    void deepTreeWithVanishingFiles()
    {
        QFETCH(int, levels);
        QFETCH(rlim_t, fileLimit);
        // Removing 30,000 folders takes minutes on some disks and seconds in memory.
        const QTemporaryDir memory(QStringLiteral("/dev/shm/tst_localcommands-XXXXXX"));
        const QString parent = memory.isValid() ? memory.path() : m_dir->path();
        const QByteArray root = QFile::encodeName(parent + QStringLiteral("/deep"));
        int bottom = ::mkdir(root.constData(), 0700) == 0 ? ::open(root.constData(), O_DIRECTORY) : -1;
        for (int level = 0; level < levels && bottom >= 0; ++level) {
            const int next = ::mkdirat(bottom, "d", 0700) == 0 ? ::openat(bottom, "d", O_DIRECTORY) : -1;
            ::close(bottom);
            bottom = next;
        }
        const auto closeBottom = qScopeGuard([&bottom] { ::close(bottom); });
        QVERIFY(bottom >= 0 && ::symlinkat(QFile::encodeName(m_outside->path()).constData(), bottom, "outside") == 0);
        for (const char* name : {"a", "b"})
            QVERIFY(::close(::openat(bottom, name, O_CREAT | O_WRONLY, 0600)) == 0);
        rlimit limit{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
        const auto restore = qScopeGuard([limit] { ::setrlimit(RLIMIT_NOFILE, &limit); });
        const rlimit lowered{fileLimit, limit.rlim_max};
        QVERIFY(fileLimit == 0 || ::setrlimit(RLIMIT_NOFILE, &lowered) == 0);

        const std::atomic<bool> stop{false};
        TreeCount count;
        RemoveOutcome outcome;
        // Closed then, as an open folder keeps the chain above it cached and each removal slow.
        const auto vanish = [&bottom] {
            if (bottom < 0)
                return;
            ::unlinkat(bottom, "a", 0);
            ::unlinkat(bottom, "b", 0);
            ::close(std::exchange(bottom, -1));
        };
        std::unique_ptr<QThread> thread(QThread::create([&] {
            count = countTree(QFile::decodeName(root), CountSizes::No, stop);
            outcome = removeTree(QFile::decodeName(root), vanish, stop);
        }));
        thread->setStackSize(testData<uint>("stack"));
        thread->start();
        QVERIFY(thread->wait(jobTimeout));
        QCOMPARE(count.folders, qint64(levels) + 1);
        QCOMPARE(count.files, qint64(3));
        QVERIFY2(outcome.removed, qPrintable(outcome.error));
        QVERIFY(!QFileInfo::exists(QFile::decodeName(root)));
        QCOMPARE(readFile(m_outside->filePath(QStringLiteral("kept.txt"))), QByteArray("kept"));
    }

    // Open starts the program for the type with the path as one argument, never a program file;
    // the chooser lists the default first and starts the choice, or a command line of the user's.
    void programsGetThePath_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("name");
        QTest::newRow("open: text with blanks") << "open" << "mit Leer zeichen.txt";
        QTest::newRow("open: program file") << "open" << "tool";
        QTest::newRow("open: a program that does not start") << "open" << "table.csv";
        QTest::newRow("chooser: program") << "chooser" << "file.txt";
        QTest::newRow("chooser: own command line") << "command line" << "file.txt";
    }

    void programsGetThePath()
    {
        QFETCH(QString, how);
        QFETCH(QString, name);
        const QString path = m_root + name;
        const bool program = name == QLatin1String("tool");
        QVERIFY(writeFile(path, program ? "#!/bin/sh\n" : "text\n"));
        if (program)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        if (how == QLatin1String("open")) {
            m_pane->refreshLocal();
            m_fixture->select({name});
            const bool starts = !name.endsWith(QLatin1String(".csv"));
            const QByteArray programs = qgetenv("PATH");
            if (!starts)
                qputenv("PATH", QFile::encodeName(m_outside->path()));
            m_fixture->actions->action(LocalCommand::Open)->trigger();
            qputenv("PATH", programs);
            // Only a program that does not start is written down.
            QCOMPARE(m_fixture->lines,
                     starts ? QStringList() : QStringList{historyKey("red", "MPUB_OPENFAILED", path)});
            if (!starts) {
                QVERIFY(m_fixture->prompter.messages.isEmpty() && !QFile::exists(recordFile()));
                return;
            }
        } else {
            ApplicationChooser chooser(path);
            QListWidget* list = chooser.applications();
            QCOMPARE(list->item(0)->text(), getText("APPCHOOSER_RECOMMENDED"));
            QCOMPARE(list->item(1)->data(ApplicationChooser::IdRole).toString(),
                     QStringLiteral("ftpclient-recorder.desktop"));
            QCOMPARE(list->currentRow(), 1);
            // Every other program follows under its title, when the machine has any.
            QVERIFY(list->count() == 2 || list->item(2)->text() == getText("APPCHOOSER_ALL"));
            if (how == QLatin1String("command line"))
                chooser.commandLine()->setText(qEnvironmentVariable("XDG_DATA_HOME")
                                               + QStringLiteral("/../recorder.sh"));
            QVERIFY(chooser.launchChoice());
        }
        if (!program) {
            QCOMPARE(recordedArguments(), QStringList({QStringLiteral("1"), path}));
            QVERIFY(m_fixture->prompter.messages.isEmpty());
            return;
        }
        // A program is never started; No to the question does nothing.
        QCOMPARE(m_fixture->prompter.messages.size(), 1);
        QCOMPARE(m_fixture->prompter.messages[0].text,
                 getText("MPUB_NOAPP") + QLatin1Char('\n') + getText("MPUB_PROGSEL"));
        QCOMPARE(m_fixture->prompter.messages[0].buttons, PromptButtons::YesNo);
        QVERIFY(!QFile::exists(recordFile()));
    }

    void propertiesOfAFolderCountItsTreeWithoutFollowingLinks()
    {
        QVERIFY(QFile::link(m_outside->path(), m_root + QStringLiteral("Alpha/outside")));
        QVERIFY(QFile::setPermissions(m_root + QStringLiteral("Alpha/inside.txt"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        m_fixture->select({QStringLiteral("Alpha")});
        m_fixture->actions->action(LocalCommand::Properties)->trigger();
        auto* dialog = m_pane->findChild<PropertiesDialog*>();
        QVERIFY(dialog);
        QSignalSpy counted(dialog, &PropertiesDialog::countingFinished);
        QVERIFY(counted.wait(jobTimeout));
        using Field = PropertiesDialog::Field;
        QCOMPARE(dialog->value(Field::Location), m_dir->path());
        // inside.txt and the link itself; Inner. The link's size is the length of its target.
        QCOMPARE(dialog->value(Field::Contents), QStringLiteral("2 %1, 1 %2").arg(getText("PROPERTIES_FILES"),
                                                                                getText("PROPERTIES_FOLDERS")));
        const qint64 bytes = QByteArray("Alpha/inside.txt").size() + QFile::encodeName(m_outside->path()).size();
        QVERIFY2(dialog->value(Field::Size).endsWith(QStringLiteral("(%1)").arg(QLocale::system().toString(bytes))),
                 qPrintable(dialog->value(Field::Size)));

        QCOMPARE(PropertiesDialog(m_root + QStringLiteral("Alpha/inside.txt")).value(Field::Permissions),
                 QStringLiteral("-rw-r----- (0640)"));
        QCOMPARE(PropertiesDialog(m_root + QStringLiteral("Alpha/outside")).value(Field::Target), m_outside->path());
        // The special bits, with and without the execute bit under them.
        QCOMPARE(PropertiesDialog::permissionText(0104755) + PropertiesDialog::octalText(0104755),
                 QStringLiteral("-rwsr-xr-x4755"));
        QCOMPARE(PropertiesDialog::permissionText(0043766), QStringLiteral("drwxrwSrwT"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_outside;
    QString m_root;
    std::unique_ptr<LocalFixture> m_fixture;
    LocalPane* m_pane = nullptr;
};

int main(int argc, char* argv[])
{
    // The desktop is set up before anything asks it: GIO reads these folders once.
    QTemporaryDir desktop;
    setUpDesktop(desktop.path());
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    LocalCommandsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_localcommands.moc"
