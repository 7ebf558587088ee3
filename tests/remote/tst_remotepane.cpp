#include "AccessibilityAudit.h"
#include "CountingTypeProvider.h"
#include "EntryListModel.h"
#include "FakeFtpServer.h"
#include "InlineJobRunner.h"
#include "JobContext.h"
#include "NameLists.h"
#include "RemoteActions.h"
#include "RemoteIconStore.h"
#include "RemotePane.h"
#include "ScriptedPrompter.h"
#include "TextCatalogue.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <memory>

namespace {

QStringList pathBoxEntries(const QComboBox* box)
{
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries.append(box->itemText(i));
    return entries;
}

} // namespace

// The remote pane and its commands against a server in memory: what the rows show, how the pane
// browses, and that every command starts in the folder the pane shows.
class RemotePaneTest : public QObject
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
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_server = std::make_unique<FakeFtpServer>();
        m_runner = std::make_unique<InlineJobRunner>(*m_server);
        m_runner->setMessageHandler([this](const MessageRequest& request) { return m_prompter->message(request, nullptr); });
        m_icons = std::make_unique<RemoteIconStore>();
        m_provider = std::make_unique<CountingTypeProvider>(QHash<QString, QString>(), CountingTypeProvider::Pictures::Fresh);
        m_window = std::make_unique<QWidget>();
        m_pane = new RemotePane(*m_runner, *m_icons, m_window.get(), m_provider.get());
        m_lines.clear();
        RemoteEnvironment environment{[] { return ConnectionSettings{}; }, [] { return QStringLiteral("/tmp/"); },
                                      [](const QString&) {},
                                      [this](const QString& text, HistoryColour colour) {
                                          m_lines.append(colourName(colour) + QLatin1Char('\t') + text);
                                      }};
        m_actions = new RemoteActions(*m_pane, *m_runner, environment, m_window.get());
        m_window->setWindowTitle(QStringLiteral("Server"));
        m_window->resize(700, 400);
        m_pane->resize(700, 400);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_runner.reset();
        m_server.reset();
        m_provider.reset();
        m_icons.reset();
        m_prompter.reset();
    }

    void rowsShowTheFolderInServerOrder()
    {
        m_server->addFolder(QStringLiteral("/b"));
        m_server->addFolder(QStringLiteral("/A"));
        m_server->addFile(QStringLiteral("/z.txt"));
        m_server->addFile(QStringLiteral("/a.txt"), QByteArray(3584, 'x'));
        QVERIFY(connectAndList());

        // "..", the folders, then the files, each group in the order the server sent it.
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "b", "A", "a.txt", "z.txt"}));
        QCOMPARE(m_pane->rows()[0].kind, EntryKind::Parent);
        QCOMPARE(m_pane->rows()[1].kind, EntryKind::Folder);
        QCOMPARE(m_pane->rows()[3].kind, EntryKind::File);
        QCOMPARE(m_pane->rows()[3].size, qint64(3584));
        const auto text = [this](int row, EntryListModel::Column column) { return m_pane->model()->text(row, column); };
        QCOMPARE(text(0, EntryListModel::TypeColumn), QString());
        QCOMPARE(text(1, EntryListModel::SizeColumn), QString());
        QCOMPARE(text(1, EntryListModel::TypeColumn), getText("MPUB_FOLDER"));
        QCOMPARE(text(1, EntryListModel::AttributeColumn), QStringLiteral("D"));
        QCOMPARE(text(3, EntryListModel::SizeColumn), QStringLiteral("4 KB"));
        QCOMPARE(text(4, EntryListModel::SizeColumn), QStringLiteral("1 KB"));
        QCOMPARE(text(4, EntryListModel::TypeColumn), QStringLiteral("TXT-Datei"));
        QCOMPARE(text(4, EntryListModel::ChangedColumn), QStringLiteral("05.03.2005 14:07"));
        QCOMPARE(text(4, EntryListModel::AttributeColumn), QStringLiteral("N"));
        QCOMPARE(m_pane->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                 m_icons->icon(QStringLiteral("zdirectoryx")).cacheKey());

        // ".." is the current and the selected row after a listing; the path box has the folder.
        QCOMPARE(m_pane->currentName(), QStringLiteral(".."));
        QCOMPARE(namesOf(m_pane->selectedRows()), strings({".."}));
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), strings({"/"}));
        QCOMPARE(m_pane->folder(), QStringLiteral("/"));
    }

    void typesAreNamedOnceAndBuiltInPicturesKept()
    {
        for (const char* name : {"/x.EXE", "/y.exe", "/notes.qqq", "/more.qqq"})
            m_server->addFile(QString::fromLatin1(name));
        QVERIFY(connectAndList());
        const RemoteListing first = m_pane->listing();
        // QMap order of the stand-in: more.qqq, notes.qqq, x.EXE, y.exe.
        QCOMPARE(first[2].iconKey, QStringLiteral("zexe0"));
        QCOMPARE(first[3].iconKey, QStringLiteral("zexe1"));
        QCOMPARE(first[2].typeName, QStringLiteral("Anwendung"));
        QCOMPARE(first[0].typeName, QStringLiteral("QQQ-Datei"));
        QCOMPARE(first[1].typeName, QStringLiteral("QQQ-Datei"));
        QCOMPARE(m_provider->typeNameQuestions, strings({"more.qqq"}));
        const qint64 picture0 = m_icons->icon(QStringLiteral("zexe0")).cacheKey();
        QVERIFY(picture0 != m_icons->icon(QStringLiteral("zexe1")).cacheKey());

        // A second listing numbers from 0 again, asks again (each built-in file, each other type
        // once), and keeps the pictures stored first.
        m_provider->iconQuestions.clear();
        QVERIFY(list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(m_pane->listing(), first);
        QCOMPARE(m_provider->iconQuestions, strings({"more.qqq", "x.EXE", "y.exe"}));
        QCOMPARE(m_icons->icon(QStringLiteral("zexe0")).cacheKey(), picture0);
    }

    void doubleClickEnterAndUpBrowse()
    {
        m_server->addFolder(QStringLiteral("/pub/docs"));
        m_server->addFile(QStringLiteral("/pub/readme.txt"));
        m_server->addLink(QStringLiteral("/shortcut"), QStringLiteral("/pub/docs"));
        QVERIFY(connectAndList());

        QTreeView* view = m_pane->listView()->detailView();
        QVERIFY(list([&] {
            const QRect cell = view->visualRect(m_pane->model()->index(rowOf(QStringLiteral("pub")), 0));
            // QTest sends the double-click alone; a real one starts with a press.
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "docs", "readme.txt"}));
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), strings({"/", "/pub"}));
        QCOMPARE(m_pane->pathBox()->currentText(), QStringLiteral("/pub"));

        // A file row lists nothing and asks the server nothing.
        m_server->calls.clear();
        QSignalSpy pathUpdated(m_pane, &RemotePane::pathBoxUpdated);
        m_pane->activateRow(rowOf(QStringLiteral("readme.txt")));
        QCOMPARE(pathUpdated.size(), 1);
        QCOMPARE(m_server->calls, QStringList());

        // Enter on the current row, "..", goes up; Up on a chosen folder row goes into it.
        view->setFocus();
        QVERIFY(list([&] { QTest::keyClick(view, Qt::Key_Return); }));
        QCOMPARE(m_pane->folder(), QStringLiteral("/"));
        view->setCurrentIndex(m_pane->model()->index(rowOf(QStringLiteral("pub")), 0));
        QVERIFY(list([this] { button("oben")->trigger(); }));
        QCOMPARE(m_pane->folder(), QStringLiteral("/pub"));
        QVERIFY(list([this] { button("oben")->trigger(); }));
        QCOMPARE(m_pane->folder(), QStringLiteral("/"));

        // A link the listing cannot tell from a file is tried like a folder.
        QCOMPARE(m_pane->rows()[rowOf(QStringLiteral("shortcut"))].kind, EntryKind::Link);
        QVERIFY(list([this] { m_pane->activateRow(rowOf(QStringLiteral("shortcut"))); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({".."}));
        QCOMPARE(m_pane->folder(), QStringLiteral("/pub/docs"));
    }

    // The session may stand elsewhere (a re-connection leaves it in "/"); the pane's folder decides.
    void everyListingStartsInThePanesFolder()
    {
        m_server->addFolder(QStringLiteral("/pub/docs"));
        m_server->addFolder(QStringLiteral("/docs"));
        m_server->addFile(QStringLiteral("/pub/a.txt"));
        QVERIFY(connectAndList());
        QVERIFY(list([this] { m_pane->changeFolder(QStringLiteral("pub")); }));
        QVERIFY(m_server->ftpSetDir(QStringLiteral("/")));

        QVERIFY(list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "docs", "a.txt"}));
        QVERIFY(m_server->ftpSetDir(QStringLiteral("/")));
        QVERIFY(list([this] { m_pane->activateRow(rowOf(QStringLiteral("docs"))); }));
        QCOMPARE(m_pane->folder(), QStringLiteral("/pub/docs"));
    }

    void vanishedFoldersAndStalePaths()
    {
        m_server->addFolder(QStringLiteral("/pub/old/deep"));
        m_server->addFolder(QStringLiteral("/other"));
        m_server->addFile(QStringLiteral("/pub/keep.txt"));
        QVERIFY(connectAndList());
        for (const char* path : {"/pub/old/deep", "/pub/old", "/pub", "/other", "/pub"})
            QVERIFY(list([&] { m_pane->changeFolder(QString::fromLatin1(path)); }));
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), strings({"/", "/pub/old/deep", "/pub/old", "/pub", "/other"}));

        // A path box choice that cannot be entered lists the unchanged folder, entries untouched.
        m_server->remove(QStringLiteral("/pub/old"));
        QVERIFY(list([this] { Q_EMIT m_pane->pathBox()->activated(2); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "keep.txt"}));
        QCOMPARE(m_pane->pathBox()->count(), 5);

        // RemoveStalePaths drops the gone folder and everything below it, and returns.
        QSignalSpy removed(m_pane, &RemotePane::stalePathsRemoved);
        m_pane->removeStalePaths();
        QVERIFY(removed.wait(5000));
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), strings({"/", "/pub", "/other"}));
        QCOMPARE(m_server->currentFolder(), QStringLiteral("/pub"));

        // The folder shown goes away: only "..", and a red line that says why.
        m_server->remove(QStringLiteral("/pub"));
        QSignalSpy lines(m_runner.get(), &JobRunner::historyLine);
        QVERIFY(list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({".."}));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0][0].toString(), getText("FRMSERVER_LISTFAILED") + QStringLiteral(" 550 No such directory."));
        QCOMPARE(lines[0][1].value<HistoryColour>(), HistoryColour::Red);

        // A lost connection keeps the rows.
        const QList<FileEntry> rows = m_pane->rows();
        m_server->dropConnection();
        QVERIFY(list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(m_pane->rows(), rows);
    }

    void commandsCheckTheConnection()
    {
        // Not connected: every command says so and asks the server nothing.
        const QList<QAction*> buttons = m_pane->commandBar()->actions();
        QCOMPARE(buttons.size(), 6);
        for (QAction* action : buttons) {
            QVERIFY(action->isEnabled());
            action->trigger();
        }
        QCOMPARE(m_prompter->messages.size(), buttons.size());
        for (const MessageRequest& message : std::as_const(m_prompter->messages)) {
            QCOMPARE(message.text, getText("FRMSERVER_NOCONNECTION"));
            QCOMPARE(message.icon, PromptIcon::Information);
        }
        QCOMPARE(m_runner->isBusy(), false);

        // Connected: F5 refreshes through the same action; the selection comes in list order.
        m_prompter->messages.clear();
        m_server->addFile(QStringLiteral("/a.txt"));
        QVERIFY(connectAndList());
        QTreeView* view = m_pane->listView()->detailView();
        view->setFocus();
        QVERIFY(list([&] { QTest::keyClick(view, Qt::Key_F5); }));
        QVERIFY(m_prompter->messages.isEmpty());
        view->selectionModel()->select(m_pane->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(namesOf(m_pane->selectedRows()), strings({"..", "a.txt"}));

        // The context menu offers the commands with Download as its default, and only over rows.
        QMenu* menu = m_actions->contextMenu();
        QCOMPARE(menu->defaultAction(), m_actions->action(RemoteCommand::Download));
        QVERIFY(menu->actions().contains(m_actions->action(RemoteCommand::Refresh)));
        QSignalSpy asked(m_pane, &RemotePane::contextMenuRequested);
        QWidget* viewport = view->viewport();
        const QPoint where = view->visualRect(m_pane->model()->index(1, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, where, viewport->mapToGlobal(where));
        QApplication::sendEvent(viewport, &event);
        QCOMPARE(asked.size(), 1);
        menu->close();
        m_pane->clearRemote();
        QApplication::sendEvent(viewport, &event);
        QCOMPARE(asked.size(), 1);
    }

    // The commands on one entry refuse a selection of two with their own key set, before any job;
    // the delete asks once for everything, and No deletes nothing.
    void selectionOfTwo_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("lines");
        const auto row = [](const char* name, RemoteCommand command, const char* key, QStringList lines = {}) {
            QTest::newRow(name) << int(command) << getText(key) << lines;
        };
        row("open", RemoteCommand::Open, "FRMPUSERVER_ONEFILE");
        row("open, toolbar", RemoteCommand::ToolbarOpen, "FRMSERVER_ONLYONEFILE");
        row("open with", RemoteCommand::OpenWith, "FRMPUSERVER_ONEFILE");
        row("rename", RemoteCommand::Rename, "FRMPUSERVER_ONEFILE");
        row("download as", RemoteCommand::DownloadAs, "FRMPUSERVER_ONEFILE");
        row("delete, answered No", RemoteCommand::Delete, "MSDEL_FILEDEL1",
            {QStringLiteral("red\t") + getText("MSDEL_DELCANCEL")});
    }

    void selectionOfTwo()
    {
        QFETCH(int, command);
        QFETCH(QString, message);
        QFETCH(QStringList, lines);
        m_server->addFile(QStringLiteral("/a.txt"));
        m_server->addFolder(QStringLiteral("/docs"));
        QVERIFY(connectAndList());
        m_pane->listView()->selectionModel()->select(m_pane->model()->index(2, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m_pane->listView()->selectionModel()->select(m_pane->model()->index(0, 0),
                                                     QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        m_pane->listView()->selectionModel()->select(m_pane->model()->index(1, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(namesOf(m_pane->selectedRows()), strings({"docs", "a.txt"}));
        m_server->calls.clear();

        m_actions->action(static_cast<RemoteCommand>(command))->trigger();
        QCOMPARE(m_prompter->messages.size(), 1);
        const MessageRequest& asked = m_prompter->messages.first();
        if (command == int(RemoteCommand::Delete)) {
            QCOMPARE(asked.text, message + QStringLiteral(" 2 ") + getText("MSDEL_FILEDEL2"));
            QCOMPARE(asked.buttons, PromptButtons::YesNo);
        } else {
            QCOMPARE(asked.text, message);
            QCOMPARE(asked.icon, PromptIcon::Information);
        }
        QCOMPARE(m_lines, lines);
        QVERIFY(!m_runner->isBusy());
        QCOMPARE(m_server->calls, QStringList());
        QVERIFY(m_server->exists(QStringLiteral("/docs")) && m_server->exists(QStringLiteral("/a.txt")));
    }

    void accessibleInEveryLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("deutsch") << QStringLiteral("deutsch");
        QTest::newRow("english") << QStringLiteral("english");
    }

    void accessibleInEveryLanguage()
    {
        QFETCH(QString, language);
        TextCatalogue::instance().setChosenTable(language);
        m_pane->retranslate();
        m_actions->retranslate();
        for (const auto mode : {EntryListView::Mode::LargeIcons, EntryListView::Mode::Details}) {
            m_pane->setViewMode(mode);
            const QStringList problems = AccessibilityAudit::problems(m_window.get());
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        }
        QCOMPARE(m_pane->listView()->detailView()->accessibleDescription(), getText("DESC_REMOTE_LIST"));
        QCOMPARE(m_pane->pathBox()->accessibleDescription(), getText("DESC_REMOTE_PATHS"));
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
    }

private:
    QAction* button(const char* key) const
    {
        for (QAction* action : m_pane->commandBar()->actions()) {
            if (action->objectName() == QLatin1String(key))
                return action;
        }
        return nullptr;
    }

    int rowOf(const QString& name) const { return static_cast<int>(namesOf(m_pane->rows()).indexOf(name)); }

    bool connectAndList()
    {
        QSignalSpy idle(m_runner.get(), &JobRunner::idle);
        m_runner->start([](JobContext& context) { context.session().openConnection({}); });
        return idle.wait(5000) && m_runner->isConnected() && list([this] { m_pane->refreshRemote(true); });
    }

    // Runs action and waits for the listing it starts.
    bool list(const std::function<void()>& action)
    {
        QSignalSpy finished(m_pane, &RemotePane::listingFinished);
        action();
        return (!finished.isEmpty() || finished.wait(5000)) && !m_pane->isBusy();
    }

    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<FakeFtpServer> m_server;
    std::unique_ptr<InlineJobRunner> m_runner;
    std::unique_ptr<RemoteIconStore> m_icons;
    std::unique_ptr<CountingTypeProvider> m_provider;
    std::unique_ptr<QWidget> m_window;
    RemotePane* m_pane = nullptr;
    RemoteActions* m_actions = nullptr;
    QStringList m_lines; // history lines written on the GUI side, "colour<TAB>text"
};

QTEST_MAIN(RemotePaneTest)
#include "tst_remotepane.moc"
