#include "CountingTypeProvider.h"
#include "EntryTypeResolver.h"
#include "FakeRemoteServer.h"
#include "InlineJobRunner.h"
#include "ListingShapes.h"
#include "RawServer.h"
#include "RemoteFixture.h"
#include "RemoteRows.h"
#include "RowTexts.h"
#include "SessionMaker.h"
#include "SessionRunner.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QToolBar>
#include <QTreeView>

#include <span>

Q_DECLARE_METATYPE(RemoteCommand)

namespace {

RemoteEntry entry(const char* name, quint32 attributes = FileAttribute::normal, const char* linkTarget = "")
{
    RemoteEntry made;
    made.name = QString::fromUtf8(name);
    made.attributes = attributes;
    made.isDirectory = attributes == FileAttribute::directory;
    made.isLink = *linkTarget != '\0';
    made.linkTarget = QString::fromUtf8(linkTarget);
    made.permissions = made.isLink ? QStringLiteral("lrwxrwxrwx") : QString();
    return made;
}

// Each row as "name|kind|icon key|type name|link target|permissions".
QStringList rowsFor(const QList<RemoteEntry>& entries)
{
    CountingTypeProvider provider({{QStringLiteral("txt"), QStringLiteral("Textdatei")}});
    EntryTypeResolver resolver(provider, FallbackRule::Remote, RemoteRows::unknownIconKey);
    const char* const kinds[] = {"parent", "folder", "file", "link"};
    QStringList rows;
    for (const FileEntry& row : RemoteRows::rowsOf(entries, resolver))
        rows.append(QStringList{row.name, QLatin1String(kinds[int(row.kind)]), row.iconKey, row.typeName,
                                row.linkTarget, row.permissions}
                        .join(QLatin1Char('|')));
    return rows;
}

// The remote pane with its actions on the server in memory; files open at once, and an edited
// copy's upload is noted as "local path -> remote folder|name".
struct FakeRemote {
    RemoteEnvironment environment()
    {
        ConnectionSettings settings;
        settings.host = QStringLiteral("ftp.example.org");
        RemoteEnvironment made{[settings] { return settings; }, [] { return QStringLiteral("/tmp/"); }, {}, {}};
        made.openFile = [this](const QString& path) {
            opened.append(path);
            return ShellServices::OpenResult::Opened;
        };
        made.uploadCopy = [this](const QString& path, const QString& folder, const QString& name, const auto& done) {
            uploads.append(path + QStringLiteral(" -> ") + folder + QLatin1Char('|') + name);
            done(true);
        };
        return made;
    }

    QStringList opened;
    QStringList uploads;
    FakeRemoteServer server;
    InlineJobRunner runner{server};
    CountingTypeProvider provider;
    RemoteFixture fixture{runner, environment(), &provider};
};

// The lines of shapes as one listing, and their entries, sorted.
void shapes(const char* tag, bool mlsd, std::span<const ListingShape> shapes)
{
    QByteArray listing;
    QStringList entries;
    for (const ListingShape& shape : shapes) {
        listing += QByteArray(shape.line) + "\r\n";
        if (*shape.entry)
            entries += QString::fromUtf8(shape.entry);
    }
    entries.sort();
    QTest::newRow(tag) << mlsd << listing << entries;
}

} // namespace

// The remote pane and its commands against a server in memory: the rules that make rows of a
// listing, what the rows show, how the pane browses, and that every command starts in the folder
// the pane shows.
class RemotePaneTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useCatalogue("deutsch"); }

    void init()
    {
        m_remote = std::make_unique<FakeRemote>();
        m_server = &m_remote->server;
        m_fixture = &m_remote->fixture;
        m_pane = m_fixture->pane;
        m_fixture->window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_fixture->window));
    }

    void cleanup() { m_remote.reset(); }

    void rowsOfAListing()
    {
        QCOMPARE(rowsFor({}), strings({"..|parent|zdirectoryx|||"}));
        // "..", the folders, then the files, each group in server order. Folders are typed like
        // files, so a folder "tools.exe" takes a number of the built-in counter too; the directory
        // bit with the read-only bit is a file; a link stays a link and keeps what was listed.
        const QList<RemoteEntry> listing{entry("z.txt"),
                                         entry("b", FileAttribute::directory),
                                         entry("tools.exe", FileAttribute::directory),
                                         entry("a.TXT"),
                                         entry("locked", 17),
                                         entry("up", FileAttribute::directory, "/pub/x"),
                                         entry("l.txt", FileAttribute::normal, "/pub/l"),
                                         entry("A", FileAttribute::directory),
                                         entry("x.EXE")};
        QCOMPARE(rowsFor(listing), strings({"..|parent|zdirectoryx|||",
                                            "b|folder|zdirectoryx|B-Datei||",
                                            "tools.exe|folder|zdirectoryx|Anwendung||",
                                            "up|link|zdirectoryx|UP-Datei|/pub/x|lrwxrwxrwx",
                                            "A|folder|zdirectoryx|A-Datei||",
                                            "z.txt|file|ztxt|Textdatei||",
                                            "a.TXT|file|ztxt|Textdatei||",
                                            "locked|file|zlocked|LOCKED-Datei||",
                                            "l.txt|link|ztxt|Textdatei|/pub/l|lrwxrwxrwx",
                                            "x.EXE|file|zexe1|Anwendung||"}));
        // A name without an extension is a type of its own; past a thousand types nothing more is
        // asked, and the rows show the unknown file's picture.
        QList<RemoteEntry> untyped;
        for (int i = 0; i <= EntryTypeResolver::maxQuestions; ++i)
            untyped.append(entry(QByteArray::number(i).constData()));
        QCOMPARE(rowsFor(untyped).mid(EntryTypeResolver::maxQuestions),
                 strings({"999|file|z999|999-Datei||", "1000|file|zunbekannty|1000-Datei||"}));
    }
    void rowsShowTheListingByTheRemoteRules()
    {
        m_server->addFolder(QStringLiteral("/b"));
        for (const char* name : {"/x.EXE", "/y.exe", "/notes.qqq", "/more.qqq"})
            m_server->addFile(QString::fromLatin1(name));
        m_server->addFile(QStringLiteral("/z.txt"), QByteArray(2560, 'z'));
        QVERIFY(m_fixture->connectAndList());

        // 2560 bytes are 2 KB (3 KB on the local side), times without seconds, the folder's word.
        using Model = EntryListModel;
        QCOMPARE(rowTexts(*m_pane->model(), {Model::NameColumn, Model::SizeColumn, Model::TypeColumn,
                                             Model::ChangedColumn, Model::AttributeColumn}),
                 strings({"..||||", "b||Dateiordner|05.03.2005 14:07|D", "more.qqq|1 KB|QQQ-Datei|05.03.2005 14:07|N",
                          "notes.qqq|1 KB|QQQ-Datei|05.03.2005 14:07|N", "x.EXE|1 KB|Anwendung|05.03.2005 14:07|N",
                          "y.exe|1 KB|Anwendung|05.03.2005 14:07|N", "z.txt|2 KB|TXT-Datei|05.03.2005 14:07|N"}));
        QCOMPARE(m_pane->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                 m_fixture->icons.icon(QStringLiteral("zdirectoryx")).cacheKey());
        // ".." is the current and the selected row after a listing; the path box has the folder.
        QCOMPARE(namesOf(m_pane->selectedRows()), strings({".."}));
        QCOMPARE(m_pane->currentName(), QStringLiteral(".."));
        QCOMPARE(m_pane->pathBoxEntries(), strings({"/"}));

        // Each built-in file has a picture of its own, other types are asked once. A second
        // listing asks again, numbers from 0 again, and keeps the pictures stored first.
        QCOMPARE(m_remote->provider.typeNameQuestions, strings({"b", "more.qqq", "z.txt"}));
        const qint64 picture0 = m_fixture->icons.icon(QStringLiteral("zexe0")).cacheKey();
        QVERIFY(picture0 != m_fixture->icons.icon(QStringLiteral("zexe1")).cacheKey());
        const QList<FileEntry> first = m_pane->rows();
        m_remote->provider.iconQuestions.clear();
        QVERIFY(m_fixture->list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(m_pane->rows(), first);
        QCOMPARE(m_remote->provider.iconQuestions, strings({"b", "more.qqq", "x.EXE", "y.exe", "z.txt"}));
        QCOMPARE(m_fixture->icons.icon(QStringLiteral("zexe0")).cacheKey(), picture0);
    }

    // One line of each shape of ListingShapes.h through a scripted server whose FEAT names only
    // MLST, and the FTP session on its thread: MLSD where the server has it; LIST after it refused
    // MLSD, which is not asked again. A line no parser reads is no row; each listing counts them.
    void everyListingShape_data()
    {
        QTest::addColumn<bool>("mlsd");
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QStringList>("rows");
        shapes("LIST after a refused MLSD", false, listShapes);
        shapes("MLSD where FEAT names only MLST", true, mlsdShapes);
    }

    void everyListingShape()
    {
        QFETCH(bool, mlsd);
        QFETCH(QByteArray, listing);
        std::atomic<int> mlsdAsked{0};
        RawServer server([&, mlsd, listing](RawServer::Connection& connection) {
            const QMap<QByteArray, QByteArray> replies{
                {"USER", "230 in"}, {"PWD", "257 \"/\""}, {"FEAT", "211-Features:\r\n MLST type*;size*;modify*;\r\n211 End"}};
            bool going = connection.send("220 scripted\r\n");
            while (const auto line = going ? connection.readLine() : std::nullopt) {
                const QByteArray verb = line->split(' ').first();
                QByteArray reply = replies.value(verb, "200 ok");
                if (verb == "EPSV") {
                    reply = "229 (|||" + QByteArray::number(connection.listenForData()) + "|)";
                } else if (verb == "MLSD" && (++mlsdAsked, !mlsd)) {
                    reply = "500 MLSD not understood";
                } else if (verb == "MLSD" || verb == "LIST") {
                    const int data = connection.send("150 go\r\n") ? connection.acceptData() : -1;
                    going = data >= 0 && connection.send(listing, data);
                    connection.closeData(data);
                    reply = "226 done";
                }
                going = going && connection.send(reply + "\r\n");
            }
        });
        const ConnectionSettings settings{Protocol::Ftp, QStringLiteral("127.0.0.1"), QString::number(server.port()),
                                          QStringLiteral("u"), {}, {true, FtpSettings::Encryption::Plain}};
        SessionRunner runner(makeSession);
        RemoteFixture fixture(runner, RemoteEnvironment{[settings] { return settings; }, [] { return QString(); }, {}, {}});
        QVERIFY(fixture.connectAndList(settings));
        QVERIFY(fixture.list([&] { fixture.pane->refreshRemote(true); }));
        QCOMPARE(mlsdAsked.load(), mlsd ? 2 : 1);
        const char* const kinds[] = {"parent", "folder", "file", "link"};
        QStringList rows;
        for (const FileEntry& row : fixture.pane->rows().mid(1))
            rows.append(shapeEntry(row.name, kinds[int(row.kind)], row.size, row.lastWrite));
        rows.sort();
        QTEST(rows, "rows");
        QCOMPARE(fixture.lines, QStringList(2, historyKey("red", "FRMSERVER_UNREADABLE", QStringLiteral("1"))));
    }

    void doubleClickEnterAndUpBrowse()
    {
        m_server->addFolder(QStringLiteral("/pub/docs"));
        m_server->addFolder(QStringLiteral("/docs"));
        m_server->addFile(QStringLiteral("/pub/readme.txt"));
        m_server->addLink(QStringLiteral("/shortcut"), QStringLiteral("/pub/docs"));
        QVERIFY(m_fixture->connectAndList());

        QTreeView* view = m_pane->listView()->detailView();
        QVERIFY(m_fixture->list([&] {
            const QRect cell = view->visualRect(m_pane->model()->index(m_fixture->rowOf(QStringLiteral("pub")), 0));
            // QTest sends the double-click alone; a real one starts with a press.
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "docs", "readme.txt"}));
        QCOMPARE(m_pane->pathBoxEntries(), strings({"/", "/pub"}));
        QCOMPARE(m_pane->pathBox()->currentText(), QStringLiteral("/pub"));

        // The session may stand elsewhere (a re-connection leaves it in "/"); the pane's folder decides.
        QVERIFY(m_server->setDir(QStringLiteral("/")));
        QVERIFY(m_fixture->list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "docs", "readme.txt"}));
        QVERIFY(m_server->setDir(QStringLiteral("/")));
        QVERIFY(m_fixture->list([this] { m_pane->activateRow(m_fixture->rowOf(QStringLiteral("docs"))); }));
        QCOMPARE(m_pane->folder(), QStringLiteral("/pub/docs"));
        QVERIFY(m_fixture->list([this] { m_pane->activateRow(0); }));

        // A file row lists nothing and asks the server nothing.
        m_server->calls.clear();
        QSignalSpy pathUpdated(m_pane, &RemotePane::pathBoxUpdated);
        m_pane->activateRow(m_fixture->rowOf(QStringLiteral("readme.txt")));
        QCOMPARE(pathUpdated.size(), 1);
        QCOMPARE(m_server->calls, QStringList());

        // Enter on the current row, "..", goes up; Up on a chosen folder row goes into it.
        view->setFocus();
        QVERIFY(m_fixture->list([&] { QTest::keyClick(view, Qt::Key_Return); }));
        QCOMPARE(m_pane->folder(), QStringLiteral("/"));
        view->setCurrentIndex(m_pane->model()->index(m_fixture->rowOf(QStringLiteral("pub")), 0));
        QAction* up = m_fixture->actions->action(RemoteCommand::Up);
        QVERIFY(m_fixture->list([up] { up->trigger(); }));
        QCOMPARE(m_pane->folder(), QStringLiteral("/pub"));
        QVERIFY(m_fixture->list([up] { up->trigger(); }));
        QCOMPARE(m_pane->folder(), QStringLiteral("/"));

        // A link the listing cannot tell from a file is tried like a folder.
        QCOMPARE(m_pane->rows()[m_fixture->rowOf(QStringLiteral("shortcut"))].kind, EntryKind::Link);
        QVERIFY(m_fixture->list([this] { m_pane->activateRow(m_fixture->rowOf(QStringLiteral("shortcut"))); }));
        QCOMPARE(m_pane->folder(), QStringLiteral("/pub/docs"));
    }

    // A drop goes to the folder row (or "..") it falls on, else to the folder shown; the drag of
    // rows carries the folder shown and leaves ".." out. The pane's own rows do not drop here.
    void dropsGoWhereTheyFall_data()
    {
        QTest::addColumn<QString>("onRow");
        QTest::addColumn<QString>("folder");
        QTest::newRow("the list") << "" << "/pub";
        QTest::newRow("a folder row") << "docs" << "/pub/docs";
        QTest::newRow("..") << ".." << "/";
    }

    void dropsGoWhereTheyFall()
    {
        m_server->addFolder(QStringLiteral("/pub/docs"));
        QVERIFY(m_fixture->connectAndList());
        QVERIFY(m_fixture->list([this] { m_pane->changeFolder(QStringLiteral("/pub")); }));
        EntryListModel* model = m_pane->model();
        const QString onRow = testData<QString>("onRow");
        const QModelIndex target = onRow.isEmpty() ? QModelIndex() : model->index(m_fixture->rowOf(onRow), 0);
        const DraggedRows local{QStringLiteral("/home/me/"), {{QStringLiteral("a b.txt"), false, 3}}};
        const std::unique_ptr<QMimeData> ownRows(model->mimeData({model->index(0, 0), model->index(1, 3)}));
        QCOMPARE(EntryDrag::droppable(ListSide::Local, *ownRows),
                 (QList<DraggedRows>{{QStringLiteral("/pub"), {{QStringLiteral("docs"), true, 0}}}}));
        QVERIFY(!model->canDropMimeData(ownRows.get(), Qt::CopyAction, -1, 0, target));
        QSignalSpy dropped(m_pane, &RemotePane::localRowsDropped);
        const std::unique_ptr<QMimeData> data(EntryDrag::mimeDataOf(ListSide::Local, local));
        // The pointer says no to the pane's own rows, and yes to local rows, as a copy also when a
        // move is proposed (a source told "moved" deletes its files).
        QWidget* viewport = m_pane->listView()->detailView()->viewport();
        for (const auto& [dragged, welcome] : {std::pair{ownRows.get(), false}, std::pair{data.get(), true}}) {
            QDragEnterEvent enter(viewport->rect().center(), Qt::CopyAction | Qt::MoveAction, dragged, Qt::LeftButton,
                                  Qt::ShiftModifier);
            QApplication::sendEvent(viewport, &enter);
            QCOMPARE(enter.isAccepted() && enter.dropAction() == Qt::CopyAction, welcome);
        }
        QVERIFY(model->dropMimeData(data.get(), Qt::MoveAction, -1, 0, target));
        QVERIFY(dropped.wait());
        QCOMPARE(dropped[0][0].value<QList<DraggedRows>>(), QList<DraggedRows>{local});
        QTEST(dropped[0][1].toString(), "folder");
    }

    // Edit on the server: copies of namesakes from two folders are kept apart; a save asks once,
    // naming the file and the server, and warns when the server's file changed since it was
    // opened (then answered No); Yes sends the copy that changed to the file it came from.
    void editedCopyGoesBack_data()
    {
        QTest::addColumn<bool>("changedOnServer");
        QTest::newRow("Yes") << false;
        QTest::newRow("changed on the server, No") << true;
    }

    void editedCopyGoesBack()
    {
        QFETCH(bool, changedOnServer);
        const QStringList folders = strings({"/pub/a", "/pub/b"});
        for (const QString& folder : folders)
            m_server->addFile(folder + QStringLiteral("/notes.txt"), folder.toUtf8());
        QVERIFY(m_fixture->connectAndList());
        for (const QString& folder : folders) {
            QVERIFY(m_fixture->list([&] { m_pane->changeFolder(folder); }));
            m_fixture->select({QStringLiteral("notes.txt")});
            QVERIFY(m_fixture->run(RemoteCommand::Open));
        }
        const QStringList& copies = m_remote->opened;
        QCOMPARE(readFile(copies.value(0)) + readFile(copies.value(1)), QByteArray("/pub/a/pub/b"));
        if (changedOnServer)
            m_server->addFile(QStringLiteral("/pub/a/notes.txt"), "someone else's");
        m_fixture->prompter.messageAnswers.enqueue(changedOnServer ? PromptAnswer::No : PromptAnswer::Yes);

        QVERIFY(writeFile(copies[0], "edited"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_fixture->prompter.messages.isEmpty() && waitIdle(m_remote->runner), jobTimeout);
        const QString warning = changedOnServer ? QStringLiteral("\n\n") + getText("EDIT_SERVERCHANGED") : QString();
        const QString question =
            getText("EDIT_QUESTION").arg(QStringLiteral("/pub/a/notes.txt"), QStringLiteral("ftp.example.org"));
        QCOMPARE(m_fixture->prompter.messages.size(), 1);
        QCOMPARE(m_fixture->prompter.messages[0].text, question + warning);
        const QString upload = copies[0] + QStringLiteral(" -> /pub/a|notes.txt");
        QCOMPARE(m_remote->uploads, changedOnServer ? QStringList() : QStringList{upload});

        // Opened again: changes that were not sent are not overwritten without a question; Yes
        // opens the copy as it is.
        m_fixture->prompter.messages.clear();
        if (changedOnServer)
            m_fixture->prompter.messageAnswers.enqueue(PromptAnswer::Yes);
        QVERIFY(m_fixture->list([&] { m_pane->changeFolder(folders[0]); }));
        m_fixture->select({QStringLiteral("notes.txt")});
        QVERIFY(m_fixture->run(RemoteCommand::Open));
        QCOMPARE(m_fixture->prompter.messages.size(), changedOnServer ? 1 : 0);
        if (changedOnServer)
            QCOMPARE(m_fixture->prompter.messages[0].text, getText("EDIT_UNSENT").arg(QStringLiteral("/pub/a/notes.txt")));
        QCOMPARE(m_remote->opened.last(), copies[0]);
        QCOMPARE(readFile(copies[0]), changedOnServer ? QByteArray("edited") : QByteArray("/pub/a"));
    }

    void vanishedFoldersAndStalePaths()
    {
        m_server->addFolder(QStringLiteral("/pub/old/deep"));
        m_server->addFolder(QStringLiteral("/other"));
        m_server->addFile(QStringLiteral("/pub/keep.txt"));
        QVERIFY(m_fixture->connectAndList());
        for (const char* path : {"/pub/old/deep", "/pub/old", "/pub", "/other", "/pub"})
            QVERIFY(m_fixture->list([&] { m_pane->changeFolder(QString::fromLatin1(path)); }));
        QCOMPARE(m_pane->pathBoxEntries(), strings({"/", "/pub/old/deep", "/pub/old", "/pub", "/other"}));

        // A path box choice that cannot be entered lists the unchanged folder, entries untouched.
        m_server->removeEntry(QStringLiteral("/pub/old"));
        QVERIFY(m_fixture->list([this] { Q_EMIT m_pane->pathBox()->activated(2); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "keep.txt"}));
        QCOMPARE(m_pane->pathBox()->count(), 5);

        // RemoveStalePaths drops the gone folder and everything below it, and returns.
        QSignalSpy removed(m_pane, &RemotePane::stalePathsRemoved);
        m_pane->removeStalePaths();
        QVERIFY(removed.wait(jobTimeout));
        QCOMPARE(m_pane->pathBoxEntries(), strings({"/", "/pub", "/other"}));
        QCOMPARE(m_server->currentFolder(), QStringLiteral("/pub"));

        // The folder shown goes away: only "..", and a red line that says why.
        m_fixture->lines.clear();
        m_server->removeEntry(QStringLiteral("/pub"));
        QVERIFY(m_fixture->list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({".."}));
        QCOMPARE(m_fixture->lines,
                 QStringList{historyKey("red", "FRMSERVER_LISTFAILED", QStringLiteral("550 No such directory."))});

        // A lost connection keeps the rows.
        const QList<FileEntry> rows = m_pane->rows();
        m_server->dropConnection();
        QVERIFY(m_fixture->list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(m_pane->rows(), rows);
    }

    void commandsCheckTheConnection()
    {
        // Not connected: every button says so and asks the server nothing.
        const QList<QAction*> buttons = m_pane->commandBar()->actions();
        QCOMPARE(buttons.size(), 6);
        for (QAction* action : buttons)
            action->trigger();
        QCOMPARE(m_fixture->prompter.messages.size(), buttons.size());
        for (const MessageRequest& message : std::as_const(m_fixture->prompter.messages))
            QCOMPARE(message.text, getText("FRMSERVER_NOCONNECTION"));
        QVERIFY(m_server->calls.isEmpty());

        // Connected: F5 refreshes through the same action; the selection comes in list order.
        m_fixture->prompter.messages.clear();
        m_server->addFile(QStringLiteral("/a.txt"));
        QVERIFY(m_fixture->connectAndList());
        QTreeView* view = m_pane->listView()->detailView();
        view->setFocus();
        QVERIFY(m_fixture->list([&] { QTest::keyClick(view, Qt::Key_F5); }));
        QVERIFY(m_fixture->prompter.messages.isEmpty());
        view->selectionModel()->select(m_pane->model()->index(1, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(namesOf(m_pane->selectedRows()), strings({"..", "a.txt"}));

        // The context menu has Download as its default (in bold), and opens only over rows.
        QCOMPARE(m_fixture->actions->contextMenu()->defaultAction(),
                 m_fixture->actions->action(RemoteCommand::Download));
        QSignalSpy asked(m_pane, &RemotePane::contextMenuRequested);
        const QPoint where = view->visualRect(m_pane->model()->index(1, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, where, view->viewport()->mapToGlobal(where));
        QApplication::sendEvent(view->viewport(), &event);
        m_fixture->actions->contextMenu()->close();
        m_pane->clearRemote();
        QApplication::sendEvent(view->viewport(), &event);
        QCOMPARE(asked.size(), 1);
    }

    // The commands on one entry refuse a selection of two with their own key set, before any job;
    // the delete asks once for everything, and No deletes nothing.
    void selectionOfTwo_data()
    {
        QTest::addColumn<RemoteCommand>("command");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("lines");
        const QString one = getText("FRMPUSERVER_ONEFILE");
        QTest::newRow("open") << RemoteCommand::Open << one << QStringList();
        QTest::newRow("open, toolbar") << RemoteCommand::ToolbarOpen << getText("FRMSERVER_ONLYONEFILE")
                                       << QStringList();
        QTest::newRow("open with") << RemoteCommand::OpenWith << one << QStringList();
        QTest::newRow("rename") << RemoteCommand::Rename << one << QStringList();
        QTest::newRow("download as") << RemoteCommand::DownloadAs << one << QStringList();
        QTest::newRow("delete, answered No")
            << RemoteCommand::Delete << QStringLiteral("Möchten Sie die 2 markierten Einträge endgültig löschen?")
            << QStringList{historyLine("red", QStringLiteral("Status: Löschen abgebrochen"))};
    }

    void selectionOfTwo()
    {
        m_server->addFile(QStringLiteral("/a.txt"));
        m_server->addFolder(QStringLiteral("/docs"));
        QVERIFY(m_fixture->connectAndList());
        m_fixture->select(strings({"a.txt", "docs"}));
        QCOMPARE(namesOf(m_pane->selectedRows()), strings({"docs", "a.txt"}));
        m_server->calls.clear();

        m_fixture->actions->action(testData<RemoteCommand>("command"))->trigger();
        QCOMPARE(m_fixture->prompter.messages.size(), 1);
        QTEST(m_fixture->prompter.messages.first().text, "message");
        QTEST(m_fixture->lines, "lines");
        QVERIFY(!m_remote->runner.isBusy());
        QCOMPARE(m_server->calls, QStringList());
        QVERIFY(m_server->exists(QStringLiteral("/docs")) && m_server->exists(QStringLiteral("/a.txt")));
    }

private:
    std::unique_ptr<FakeRemote> m_remote;
    FakeRemoteServer* m_server = nullptr;
    RemoteFixture* m_fixture = nullptr;
    RemotePane* m_pane = nullptr;
};

QTEST_MAIN(RemotePaneTest)
#include "tst_remotepane.moc"
