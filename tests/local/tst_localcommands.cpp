#include "ApplicationChooser.h"
#include "CountingTypeProvider.h"
#include "EntryListModel.h"
#include "FakeFtpServer.h"
#include "FolderTree.h"
#include "InlineJobRunner.h"
#include "LocalActions.h"
#include "LocalCommands.h"
#include "LocalPane.h"
#include "NameLists.h"
#include "PropertiesDialog.h"
#include "ScriptedPrompter.h"
#include "TextCatalogue.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>

#include <unistd.h>

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
    QDir(folder).mkpath(QStringLiteral("config"));
    QDir(folder).mkpath(QStringLiteral("data/applications"));
    const QString recorder = folder + QStringLiteral("/recorder.sh");
    const auto write = [](const QString& path, const QByteArray& text) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
    };
    write(recorder, "#!/bin/sh\n{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > \"$FTPCLIENT_RECORD.part\"\n"
                    "mv \"$FTPCLIENT_RECORD.part\" \"$FTPCLIENT_RECORD\"\n");
    QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    write(folder + QStringLiteral("/data/applications/ftpclient-recorder.desktop"),
          "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + QFile::encodeName(recorder)
              + " %f\nMimeType=text/plain;\n");
    write(folder + QStringLiteral("/config/mimeapps.list"),
          "[Default Applications]\ntext/plain=ftpclient-recorder.desktop\n");
}

QString recordFile()
{
    return qEnvironmentVariable("FTPCLIENT_RECORD");
}

// The arguments the recorder was started with, once it has written them.
QStringList recordedArguments()
{
    QFile file(recordFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

QString line(HistoryColour colour, const QString& text)
{
    return colourName(colour) + QStringLiteral(": ") + text;
}

QString black(const QString& text) { return line(HistoryColour::Black, text); }
QString green(const char* key) { return line(HistoryColour::Green, getText(key)); }
QString red(const char* key) { return line(HistoryColour::Red, getText(key)); }

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class LocalCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
    }

    void init()
    {
        // root/ Alpha/Inner/  Alpha/inside.txt  beta/  file.txt  Z.txt; outside/ kept.txt
        m_dir = std::make_unique<QTemporaryDir>();
        m_outside = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && m_outside->isValid());
        m_root = m_dir->path() + QLatin1Char('/');
        for (const char* folder : {"Alpha/Inner", "beta"})
            QVERIFY(QDir(m_root).mkpath(QString::fromLatin1(folder)));
        for (const char* file : {"file.txt", "Z.txt", "Alpha/inside.txt"})
            createFile(m_root + QString::fromLatin1(file), file);
        createFile(m_outside->filePath(QStringLiteral("kept.txt")), "kept");
        QFile::remove(recordFile());

        m_prompter = std::make_unique<ScriptedPrompter>();
        m_provider = std::make_unique<CountingTypeProvider>();
        m_pane = std::make_unique<LocalPane>(nullptr, m_provider.get());
        m_runner = std::make_unique<InlineJobRunner>(m_server);
        m_lines.clear();
        LocalEnvironment environment;
        environment.appendHistory = [this](const QString& text, HistoryColour colour) { m_lines.append(line(colour, text)); };
        m_actions = new LocalActions(*m_pane, *m_runner, environment, m_pane.get());
        m_pane->resize(900, 600);
        m_pane->changeDrive(m_dir->path());
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
    }

    void cleanup()
    {
        m_pane.reset();
        m_runner.reset();
        m_provider.reset();
        m_prompter.reset();
        m_dir.reset();
        m_outside.reset();
    }

    void newFolder_data()
    {
        QTest::addColumn<LocalCommand>("command");
        QTest::addColumn<InputAnswer>("answer");
        QTest::addColumn<bool>("created");
        const InputAnswer named{true, QStringLiteral("Neu")};
        QTest::newRow("context menu") << LocalCommand::NewFolder << named << true;
        QTest::newRow("toolbar") << LocalCommand::ToolbarNewFolder << named << true;
        QTest::newRow("name of a file") << LocalCommand::NewFolder << InputAnswer{true, QStringLiteral("inside.txt")} << false;
        QTest::newRow("name with a slash") << LocalCommand::NewFolder << InputAnswer{true, QStringLiteral("a/b")} << false;
        QTest::newRow("empty name") << LocalCommand::NewFolder << InputAnswer{true, QString()} << false;
        QTest::newRow("cancelled") << LocalCommand::NewFolder << InputAnswer{} << false;
    }

    void newFolder()
    {
        QFETCH(LocalCommand, command);
        QFETCH(InputAnswer, answer);
        QFETCH(bool, created);
        const QString alpha = m_root + QStringLiteral("Alpha/");
        m_pane->choosePath(alpha);
        m_prompter->inputAnswers.enqueue(answer);
        m_actions->action(command)->trigger();

        QCOMPARE(m_prompter->inputs.size(), 1);
        QCOMPARE(m_prompter->inputs[0].prompt, getText("FRMPULOC_DIRNAME"));
        QCOMPARE(m_prompter->inputs[0].position, InputPosition::NearScreenCentre);
        const QString path = alpha + answer.text;
        QStringList expected;
        if (!answer.text.isEmpty())
            expected << black(QStringLiteral("Aktion: Lege Verzeichnis ") + path + QStringLiteral(" an"))
                     << (created ? green("FRMPULOC_GENOK") : red("FRMPULOC_GENFAIL"));
        QCOMPARE(m_lines, expected);
        if (!answer.text.isEmpty())
            QCOMPARE(QFileInfo(path).isDir(), created);
        QVERIFY(QFileInfo(alpha + QStringLiteral("inside.txt")).isFile());
        QVERIFY(!QFileInfo::exists(alpha + QStringLiteral("a")));
        if (!created)
            return;
        // The tree is rebuilt and open down to the folder, whose node shows the new folder.
        QTreeWidgetItem* node = tree()->currentItem();
        QCOMPARE(FolderTree::keyOf(node), alpha);
        QVERIFY(node->isExpanded());
        QCOMPARE(node->child(node->childCount() - 1)->text(0), QStringLiteral("Neu"));
        QCOMPARE(m_pane->listedFolder(), alpha);
        // The context menu lists without the folder letter, the toolbar with the pane's own.
        const int row = static_cast<int>(namesOf(m_pane->entries()).indexOf(QStringLiteral("Neu")));
        QCOMPARE(model()->text(row, EntryListModel::AttributeColumn),
                 command == LocalCommand::NewFolder ? QString() : QStringLiteral("D"));
    }

    void rename_data()
    {
        QTest::addColumn<LocalCommand>("command");
        QTest::addColumn<QString>("old");
        QTest::addColumn<InputAnswer>("answer");
        QTest::addColumn<QStringList>("names"); // the listing afterwards
        QTest::addColumn<QString>("outcome");   // the key of the last line
        const auto to = [](const char* name) { return InputAnswer{true, QString::fromUtf8(name)}; };
        QTest::newRow("file") << LocalCommand::Rename << "file.txt" << to("neu.txt")
                              << strings({"Alpha", "beta", "Z.txt", "neu.txt"}) << "FRMPULOC_RENOK";
        QTest::newRow("onto an existing file") << LocalCommand::Rename << "file.txt" << to("Z.txt")
                                               << strings({"Alpha", "beta", "Z.txt", "file.txt"}) << "FRMPULOC_RENFAILED";
        QTest::newRow("folder") << LocalCommand::MainMenuRename << "beta" << to("gamma")
                                << strings({"Alpha", "gamma", "file.txt", "Z.txt"}) << "FRMPULOC_RENOK";
        QTest::newRow("name with a slash") << LocalCommand::Rename << "file.txt" << to("Alpha/x")
                                           << strings({"Alpha", "beta", "file.txt", "Z.txt"}) << "FRMPULOC_RENFAILED";
        QTest::newRow("cancelled") << LocalCommand::Rename << "file.txt" << InputAnswer{}
                                   << strings({"Alpha", "beta", "file.txt", "Z.txt"}) << "FRMPULOC_RENCANCEL";
    }

    void rename()
    {
        QFETCH(LocalCommand, command);
        QFETCH(QString, old);
        QFETCH(InputAnswer, answer);
        QFETCH(QStringList, names);
        QFETCH(QString, outcome);
        m_pane->choosePath(m_root + QStringLiteral("beta"));
        m_pane->choosePath(m_dir->path());
        const QDateTime written = QDateTime(QDate(2004, 12, 31), QTime(23, 30), Qt::UTC);
        QFile renamed(m_root + QStringLiteral("file.txt"));
        QVERIFY(renamed.open(QIODevice::ReadWrite) && renamed.setFileTime(written, QFileDevice::FileModificationTime));
        renamed.close();
        const QByteArray before = contentOf(m_root + QStringLiteral("Z.txt"));
        select({old});
        m_prompter->inputAnswers.enqueue(answer);
        m_actions->action(command)->trigger();

        QCOMPARE(m_prompter->inputs.size(), 1);
        QCOMPARE(m_prompter->inputs[0].prompt, getText("FRMPULOC_NEWNAME") + QLatin1Char(' ') + old + QStringLiteral(" ?"));
        QCOMPARE(m_prompter->inputs[0].defaultAnswer, old);
        QCOMPARE(m_lines, QStringList({black(getText("FRMPULOC_RENAME2") + QLatin1Char(' ') + old),
                                       line(outcome == QStringLiteral("FRMPULOC_RENOK") ? HistoryColour::Green : HistoryColour::Red,
                                            getText(outcome.toLatin1().constData()))}));
        // On disk, as the listing says; an existing target keeps its content.
        QCOMPARE(QDir(m_root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name | QDir::DirsFirst).size(), 4);
        for (const QString& name : names)
            QVERIFY2(QFileInfo::exists(m_root + name), qPrintable(name));
        QCOMPARE(contentOf(m_root + QStringLiteral("Z.txt")), before);
        if (outcome != QStringLiteral("FRMPULOC_RENOK"))
            return;
        QCOMPARE(namesOf(m_pane->entries()), names);
        if (command == LocalCommand::Rename) {
            // One atomic rename: the content and the time of the file stay.
            QCOMPARE(contentOf(m_root + QStringLiteral("neu.txt")), QByteArray("file.txt"));
            QCOMPARE(QFileInfo(m_root + QStringLiteral("neu.txt")).lastModified().toUTC(), written);
            return;
        }
        // A renamed folder: its files went with it, the tree and the path box follow.
        QVERIFY(QFileInfo(m_root + QStringLiteral("gamma")).isDir());
        QCOMPARE(model()->text(1, EntryListModel::AttributeColumn), QStringLiteral("D"));
        QStringList treeNames;
        for (int i = 0; i < tree()->topLevelItem(0)->childCount(); ++i)
            treeNames.append(tree()->topLevelItem(0)->child(i)->text(0));
        QCOMPARE(treeNames, strings({"Alpha", "gamma"}));
        QCOMPARE(pathBox()->count(), 1);
    }

    void renameWantsOneEntry()
    {
        select({QStringLiteral("file.txt"), QStringLiteral("Z.txt")});
        m_actions->action(LocalCommand::Rename)->trigger();
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].text, getText("FRMPOPLOC_ONEFILE"));
        QCOMPARE(m_prompter->messages[0].icon, PromptIcon::Information);
        QVERIFY(m_prompter->inputs.isEmpty());
        QVERIFY(m_lines.isEmpty());
    }

    void deleteEntries_data()
    {
        QTest::addColumn<QStringList>("selection");
        QTest::addColumn<QString>("made");     // an entry made for the row: "file" or "folder"
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left"); // what stays in the folder
        // In code order, as the listing after a delete shows them.
        const QStringList all = strings({"Alpha", "beta", "Z.txt", "file.txt"});
        QTest::newRow("three entries") << strings({"Alpha", "beta", "file.txt"}) << "" << true << strings({"Z.txt"});
        QTest::newRow("one folder") << strings({"Alpha"}) << "" << true << strings({"beta", "Z.txt", "file.txt"});
        QTest::newRow("one file") << strings({"Z.txt"}) << "" << true << strings({"Alpha", "beta", "file.txt"});
        QTest::newRow("file without a dot") << strings({"README"}) << "file" << true << all;
        QTest::newRow("folder with a dot") << strings({"v1.0"}) << "folder" << true << all;
        QTest::newRow("No") << strings({"beta", "Z.txt"}) << "" << false << all;
        QTest::newRow("No to one") << strings({"beta"}) << "" << false << all;
    }

    void deleteEntries()
    {
        QFETCH(QStringList, selection);
        QFETCH(QString, made);
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        const QString first = m_root + selection[0];
        if (made == QStringLiteral("file"))
            createFile(first, "x");
        else if (made == QStringLiteral("folder"))
            QVERIFY(QDir().mkdir(first));
        // Visit a folder, so that the path box has an entry to lose.
        m_pane->choosePath(m_root + QStringLiteral("beta"));
        m_pane->choosePath(m_dir->path());
        select(selection);
        const bool folder = QFileInfo(first).isDir();
        m_prompter->messageAnswers.enqueue(yes ? PromptAnswer::Yes : PromptAnswer::No);
        QSignalSpy finished(&m_actions->commands(), &LocalCommands::deleteFinished);
        QSignalSpy progress(&m_actions->commands(), &LocalCommands::progressChanged);
        // The Delete key of the list runs the same command.
        detailView()->setFocus();
        QTest::keyClick(detailView(), Qt::Key_Delete);
        if (yes)
            QVERIFY(finished.wait());

        QCOMPARE(m_prompter->messages.size(), 1);
        const MessageRequest& question = m_prompter->messages[0];
        QCOMPARE(question.buttons, PromptButtons::YesNo);
        QStringList expected;
        if (selection.size() > 1) {
            QCOMPARE(question.text, getText("MSDEL_FILEDEL1") + QLatin1Char(' ') + QString::number(selection.size())
                                        + QLatin1Char(' ') + getText("MSDEL_FILEDEL2"));
            expected << black(QStringLiteral("Aktion: Beginne mit löschen"));
            if (yes) {
                for (const QString& name : selection)
                    expected << black(getText("MSDEL_WILLDELETE1") + QLatin1Char(' ') + m_root + name) << green("MSDEL_DELSUCC");
            }
        } else {
            // The wording follows the kind of the entry, not the dots of its path.
            QCOMPARE(question.text, folder ? getText("MSDEL_FOLDDEL1") + QLatin1Char(' ') + first + QLatin1Char(' ') + getText("MSDEL_FOLDDEL2")
                                           : getText("MSDEL_DELETEIT1") + QLatin1Char(' ') + first + QLatin1Char(' ') + getText("MSDEL_DELETEIT2"));
            expected << black(getText("MSDEL_DELETE") + QLatin1Char(' ') + first);
            if (yes)
                expected << green("MSDEL_DELSUCC");
        }
        if (!yes)
            expected << red("MSDEL_DELCANCEL");
        QCOMPARE(m_lines, expected);
        QCOMPARE(QDir(m_root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), left.size() + (yes ? 0 : made.isEmpty() ? 0 : 1));
        for (const QString& name : left)
            QVERIFY2(QFileInfo::exists(m_root + name), qPrintable(name));
        if (!yes) {
            QCOMPARE(pathBox()->count(), 2);
            QVERIFY(progress.isEmpty());
            return;
        }
        // Listed in code order with the letters of the listing after a delete; the tree and
        // the path box no longer show what went.
        QCOMPARE(namesOf(m_pane->entries()), left);
        QStringList folders;
        for (const QString& name : left) {
            if (QFileInfo(m_root + name).isDir())
                folders.append(name);
        }
        if (!folders.isEmpty())
            QCOMPARE(model()->text(0, EntryListModel::AttributeColumn), QStringLiteral("D"));
        QStringList treeNames;
        for (int i = 0; i < tree()->topLevelItem(0)->childCount(); ++i)
            treeNames.append(tree()->topLevelItem(0)->child(i)->text(0));
        QCOMPARE(treeNames, folders);
        QCOMPARE(pathBox()->count(), selection.contains(QStringLiteral("beta")) ? 1 : 2);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last()[0], progress.last()[1]);
    }

    void deleteNeverFollowsALink()
    {
        // A tree with a link to a folder outside it, and a link of its own to that folder.
        QVERIFY(QFile::link(m_outside->path(), m_root + QStringLiteral("Alpha/outside")));
        QVERIFY(QFile::link(m_outside->path(), m_root + QStringLiteral("link")));
        m_pane->refreshLocal();
        select({QStringLiteral("Alpha"), QStringLiteral("link")});
        m_prompter->messageAnswers.enqueue(PromptAnswer::Yes);
        QSignalSpy finished(&m_actions->commands(), &LocalCommands::deleteFinished);
        m_actions->action(LocalCommand::Delete)->trigger();
        QVERIFY(finished.wait());
        QVERIFY(!QFileInfo::exists(m_root + QStringLiteral("Alpha")));
        QVERIFY(!QFileInfo(m_root + QStringLiteral("link")).isSymLink());
        QCOMPARE(contentOf(m_outside->filePath(QStringLiteral("kept.txt"))), QByteArray("kept"));
        QCOMPARE(m_lines.count(green("MSDEL_DELSUCC")), 2);
    }

    void failedDeleteGoesOnWithTheNext_data()
    {
        QTest::addColumn<bool>("vanished"); // else kept by a folder the user may not write
        QTest::newRow("removed meanwhile") << true;
        QTest::newRow("in a read-only folder") << false;
    }

    void failedDeleteGoesOnWithTheNext()
    {
        QFETCH(bool, vanished);
        if (!vanished && ::geteuid() == 0)
            QSKIP("the super-user may delete anything");
        select({QStringLiteral("Alpha"), QStringLiteral("file.txt"), QStringLiteral("Z.txt")});
        const QString alpha = m_root + QStringLiteral("Alpha");
        if (vanished)
            QVERIFY(QDir(alpha).removeRecursively());
        else
            QVERIFY(QFile::setPermissions(alpha, QFile::ReadOwner | QFile::ExeOwner));
        m_prompter->messageAnswers.enqueue(PromptAnswer::Yes);
        QSignalSpy finished(&m_actions->commands(), &LocalCommands::deleteFinished);
        m_actions->action(LocalCommand::Delete)->trigger();
        QVERIFY(finished.wait());
        if (!vanished)
            QFile::setPermissions(alpha, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(m_lines.mid(1), QStringList({black(getText("MSDEL_WILLDELETE1") + QLatin1Char(' ') + alpha),
                                              red("MSDEL_DELFAILED"),
                                              black(getText("MSDEL_WILLDELETE1") + QLatin1Char(' ') + m_root + QStringLiteral("file.txt")),
                                              green("MSDEL_DELSUCC"),
                                              black(getText("MSDEL_WILLDELETE1") + QLatin1Char(' ') + m_root + QStringLiteral("Z.txt")),
                                              green("MSDEL_DELSUCC")}));
        // The error is shown, naming what could not go.
        QCOMPARE(m_prompter->messages.size(), 2);
        QCOMPARE(m_prompter->messages[1].icon, PromptIcon::Critical);
        QVERIFY(m_prompter->messages[1].text.startsWith(vanished ? alpha : alpha + QLatin1Char('/')));
        QVERIFY(!QFileInfo::exists(m_root + QStringLiteral("file.txt")));
        QVERIFY(!QFileInfo::exists(m_root + QStringLiteral("Z.txt")));
        QCOMPARE(QFileInfo::exists(alpha), !vanished);
    }

    void openStartsTheProgramWithThePath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("program");
        QTest::newRow("text with blanks") << "mit Leer zeichen.txt" << false;
        QTest::newRow("program file") << "tool" << true;
    }

    void openStartsTheProgramWithThePath()
    {
        QFETCH(QString, name);
        QFETCH(bool, program);
        const QString path = m_root + name;
        createFile(path, program ? "#!/bin/sh\n" : "text\n");
        if (program)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        m_pane->refreshLocal();
        select({name});
        m_actions->action(LocalCommand::Open)->trigger();
        if (program) {
            // A program is never started; No to the question does nothing.
            QCOMPARE(m_prompter->messages.size(), 1);
            QCOMPARE(m_prompter->messages[0].text, getText("MPUB_NOAPP") + QLatin1Char('\n') + getText("MPUB_PROGSEL"));
            QCOMPARE(m_prompter->messages[0].buttons, PromptButtons::YesNo);
            QVERIFY(!QFile::exists(recordFile()));
        } else {
            QTRY_VERIFY(QFile::exists(recordFile()));
            QCOMPARE(recordedArguments(), QStringList({QStringLiteral("1"), path}));
            QVERIFY(m_prompter->messages.isEmpty());
        }
        QVERIFY(m_lines.isEmpty());
    }

    void chooserListsTheDefaultFirstAndStartsTheChoice_data()
    {
        QTest::addColumn<bool>("commandLine");
        QTest::newRow("program") << false;
        QTest::newRow("own command line") << true;
    }

    void chooserListsTheDefaultFirstAndStartsTheChoice()
    {
        QFETCH(bool, commandLine);
        const QString path = m_root + QStringLiteral("file.txt");
        ApplicationChooser chooser(path);
        QListWidget* list = chooser.applications();
        QCOMPARE(list->item(0)->text(), getText("APPCHOOSER_RECOMMENDED"));
        QCOMPARE(list->item(1)->data(ApplicationChooser::IdRole).toString(), QStringLiteral("ftpclient-recorder.desktop"));
        QCOMPARE(list->currentRow(), 1);
        // Every other program follows under its title, when the machine has any.
        QVERIFY(list->count() == 2 || list->item(2)->text() == getText("APPCHOOSER_ALL"));
        if (commandLine)
            chooser.commandLine()->setText(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/../recorder.sh"));
        QVERIFY(chooser.launchChoice());
        QTRY_VERIFY(QFile::exists(recordFile()));
        QCOMPARE(recordedArguments(), QStringList({QStringLiteral("1"), path}));
    }

    void propertiesOfAFolderCountItsTreeWithoutFollowingLinks()
    {
        QVERIFY(QFile::link(m_outside->path(), m_root + QStringLiteral("Alpha/outside")));
        QVERIFY(QFile::setPermissions(m_root + QStringLiteral("Alpha/inside.txt"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        select({QStringLiteral("Alpha")});
        m_actions->action(LocalCommand::Properties)->trigger();
        auto* dialog = m_pane->findChild<PropertiesDialog*>();
        QVERIFY(dialog);
        QSignalSpy counted(dialog, &PropertiesDialog::countingFinished);
        QVERIFY(counted.wait());
        using Field = PropertiesDialog::Field;
        QCOMPARE(dialog->value(Field::Name), QStringLiteral("Alpha"));
        QCOMPARE(dialog->value(Field::Location), m_dir->path());
        QCOMPARE(dialog->value(Field::Type), withoutMnemonic(getText("FOLDER")));
        // inside.txt and the link itself; Inner. The link's size is the length of its target.
        QCOMPARE(dialog->value(Field::Contents), QStringLiteral("2 ") + getText("PROPERTIES_FILES") + QStringLiteral(", 1 ")
                                                     + getText("PROPERTIES_FOLDERS"));
        const qint64 bytes = QByteArray("Alpha/inside.txt").size() + QFile::encodeName(m_outside->path()).size();
        QVERIFY2(dialog->value(Field::Size).endsWith(QLatin1Char('(') + QLocale::system().toString(bytes) + QLatin1Char(')')),
                 qPrintable(dialog->value(Field::Size)));
        QVERIFY(dialog->value(Field::Permissions).startsWith(QLatin1Char('d')));

        PropertiesDialog file(m_root + QStringLiteral("Alpha/inside.txt"));
        QCOMPARE(file.value(Field::Permissions), QStringLiteral("-rw-r----- (0640)"));
        QCOMPARE(file.value(Field::Contents), QString());
        PropertiesDialog link(m_root + QStringLiteral("Alpha/outside"));
        QCOMPARE(link.value(Field::Target), m_outside->path());
        QVERIFY(link.value(Field::Permissions).startsWith(QLatin1Char('l')));
        // The special bits, with and without the execute bit under them.
        QCOMPARE(PropertiesDialog::permissionText(0104755) + PropertiesDialog::octalText(0104755), QStringLiteral("-rwsr-xr-x4755"));
        QCOMPARE(PropertiesDialog::permissionText(0043766), QStringLiteral("drwxrwSrwT"));
    }

private:
    static void createFile(const QString& path, const char* content)
    {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
        file.write(content);
    }

    void select(const QStringList& names)
    {
        QItemSelectionModel* selection = detailView()->selectionModel();
        selection->clearSelection();
        for (const QString& name : names) {
            const int row = static_cast<int>(namesOf(m_pane->entries()).indexOf(name));
            QVERIFY2(row >= 0, qPrintable(name));
            selection->setCurrentIndex(model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    QTreeWidget* tree() const { return m_pane->findChild<QTreeWidget*>(QStringLiteral("trwPaths")); }
    QTreeView* detailView() const { return m_pane->findChild<QTreeView*>(QStringLiteral("lsvDirFile")); }
    QComboBox* pathBox() const { return m_pane->findChild<QComboBox*>(QStringLiteral("cboLocal")); }
    EntryListModel* model() const { return m_pane->findChild<EntryListModel*>(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_outside;
    QString m_root;
    QStringList m_lines;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<CountingTypeProvider> m_provider;
    std::unique_ptr<LocalPane> m_pane;
    FakeFtpServer m_server;
    std::unique_ptr<InlineJobRunner> m_runner;
    LocalActions* m_actions = nullptr;
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
