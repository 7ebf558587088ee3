#include "NameLists.h"
#include "AccessibilityAudit.h"
#include "EntryListModel.h"
#include "CountingTypeProvider.h"
#include "FtpServerFixture.h"
#include "FtpSession.h"
#include "JobContext.h"
#include "RemoteIconStore.h"
#include "RemotePane.h"
#include "ScriptedPrompter.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QListView>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
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

int rowOf(const RemotePane& pane, const QString& name)
{
    return static_cast<int>(namesOf(pane.rows()).indexOf(name));
}

} // namespace

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
        m_root = std::make_unique<QTemporaryDir>();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_runner = std::make_unique<SessionRunner>();
        m_icons = std::make_unique<RemoteIconStore>();
        m_provider = std::make_unique<CountingTypeProvider>(QHash<QString, QString>(), CountingTypeProvider::Pictures::Fresh);
        m_pane = std::make_unique<RemotePane>(*m_runner, *m_icons, nullptr, m_provider.get());
        m_pane->resize(700, 400);
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
    }

    void cleanup()
    {
        m_pane.reset();
        m_runner.reset();
        m_server.reset();
        m_provider.reset();
        m_icons.reset();
        m_prompter.reset();
        m_root.reset();
    }

    void emptyFolderShowsOnlyParent()
    {
        QVERIFY(connectAndList());
        QCOMPARE(namesOf(m_pane->rows()), QStringList{QStringLiteral("..")});
        QVERIFY(m_pane->listing().isEmpty());
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), QStringList{QStringLiteral("/")});
        QCOMPARE(m_pane->pathBox()->currentText(), QStringLiteral("/"));
        // ".." is the current and the selected row after a listing.
        QCOMPARE(m_pane->currentName(), QStringLiteral(".."));
        QCOMPARE(namesOf(m_pane->selectedRows()), QStringList{QStringLiteral("..")});
    }

    void rowsShowTheServerFolder_data()
    {
        QTest::addColumn<bool>("mlsd");
        QTest::newRow("LIST") << false;
        QTest::newRow("MLSD") << true;
    }

    void rowsShowTheServerFolder()
    {
        QFETCH(bool, mlsd);
        QVERIFY(serverFolder("b") && serverFolder("A") && serverFile("z.txt") && serverFile("a.txt", 3584));
        QFile dated(m_root->filePath(QStringLiteral("a.txt")));
        QVERIFY(dated.open(QIODevice::ReadWrite));
        QVERIFY(dated.setFileTime(QDateTime(QDate(2005, 3, 5), QTime(14, 7, 9), Qt::UTC),
                                  QFileDevice::FileModificationTime));
        dated.close();

        FtpServerFixture::Options options;
        options.advertiseMlsd = mlsd;
        QVERIFY(connectAndList(options));

        // pyftpdlib sorts LIST by name but sends MLSD in the file system's order; the rows keep
        // whatever order the server sent, per group.
        QStringList folders;
        QStringList files;
        for (const RemoteEntry& entry : serverListing())
            (entry.isDirectory ? folders : files).append(entry.name);
        QCOMPARE(folders.size(), 2);
        QCOMPARE(files.size(), 2);
        QCOMPARE(namesOf(m_pane->rows()), QStringList{QStringLiteral("..")} + folders + files);

        const EntryRow folderRow = m_pane->rows().at(rowOf(*m_pane, QStringLiteral("b")));
        QVERIFY(folderRow.sizeText.isEmpty());
        QCOMPARE(folderRow.typeText, getText("MPUB_FOLDER"));
        QCOMPARE(folderRow.iconKey, QStringLiteral("zdirectoryx"));
        const EntryRow empty = m_pane->rows().at(rowOf(*m_pane, QStringLiteral("z.txt")));
        QCOMPARE(empty.sizeText, QStringLiteral("1 KB"));
        QCOMPARE(empty.typeText, QStringLiteral("TXT-Datei"));
        QCOMPARE(empty.attributeText, QStringLiteral("N"));
        const EntryRow sized = m_pane->rows().at(rowOf(*m_pane, QStringLiteral("a.txt")));
        QCOMPARE(sized.sizeText, QStringLiteral("4 KB"));
        // LIST gives old files their day only; MLSD gives the minute.
        QCOMPARE(sized.dateText, mlsd ? QStringLiteral("05.03.2005 14:07") : QStringLiteral("05.03.2005 00:00"));

        // The detail view shows what the model holds, with the stock folder picture.
        const QModelIndex folderIndex = m_pane->model()->index(rowOf(*m_pane, QStringLiteral("b")), 0);
        QCOMPARE(folderIndex.data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                 m_icons->icon(QStringLiteral("zdirectoryx")).cacheKey());
    }

    void builtInTypesAreNumberedAndPicturesKept()
    {
        QVERIFY(serverFile("x.EXE") && serverFile("y.exe"));
        QVERIFY(connectAndList());
        const RemoteListing first = m_pane->listing();
        QCOMPARE(first.size(), 2);
        // Numbered in the order the server sent them.
        QCOMPARE(first[0].iconKey, QStringLiteral("zexe0"));
        QCOMPARE(first[1].iconKey, QStringLiteral("zexe1"));
        QCOMPARE(first[0].typeName, QStringLiteral("Anwendung"));
        const qint64 picture0 = m_icons->icon(QStringLiteral("zexe0")).cacheKey();
        const qint64 picture1 = m_icons->icon(QStringLiteral("zexe1")).cacheKey();
        QVERIFY(picture0 != picture1);

        m_provider->iconQuestions.clear();
        QVERIFY(list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(m_pane->listing(), first);
        // Asked again for each file, but the pictures stored first stay.
        QCOMPARE(m_provider->iconQuestions.size(), 2);
        QCOMPARE(m_icons->icon(QStringLiteral("zexe0")).cacheKey(), picture0);
        QCOMPARE(m_icons->icon(QStringLiteral("zexe1")).cacheKey(), picture1);
    }

    void unknownTypeIsNamedOnceFromTheExtension()
    {
        QVERIFY(serverFile("notes.qqq") && serverFile("more.qqq"));
        QVERIFY(connectAndList());
        for (const RemoteListingEntry& entry : m_pane->listing())
            QCOMPARE(entry.typeName, QStringLiteral("QQQ-Datei"));
        QCOMPARE(m_provider->typeNameQuestions.size(), 1);
    }

    void linkToAFolderCanBeEntered()
    {
        QVERIFY(serverFolder("real/inner"));
        QVERIFY(QFile::link(m_root->filePath(QStringLiteral("real")), m_root->filePath(QStringLiteral("shortcut"))));
        QVERIFY(connectAndList());
        const int row = rowOf(*m_pane, QStringLiteral("shortcut"));
        QVERIFY(row > 0);
        // LIST shows the link as "l... shortcut -> /.../real": a row with a size, like a file.
        QVERIFY(!m_pane->rows()[row].sizeText.isEmpty());
        QVERIFY(list([&] { m_pane->activateRow(row); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "inner"}));
        QCOMPARE(m_pane->pathBox()->currentText(), QStringLiteral("/shortcut"));
    }

    void doubleClickAndEnterBrowse()
    {
        QVERIFY(serverFolder("pub/docs") && serverFile("pub/readme.txt"));
        QVERIFY(connectAndList());

        QTreeView* view = m_pane->detailView();
        QVERIFY(list([&] {
            const QRect cell = view->visualRect(m_pane->model()->index(rowOf(*m_pane, QStringLiteral("pub")), 0));
            // QTest sends the double-click alone; a real one starts with a press.
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "docs", "readme.txt"}));
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), strings({"/", "/pub"}));
        QCOMPARE(m_pane->pathBox()->currentText(), QStringLiteral("/pub"));

        // A file row lists nothing; the path box only stays up to date.
        QSignalSpy listed(m_pane.get(), &RemotePane::listingFinished);
        QSignalSpy pathAsked(m_pane.get(), &RemotePane::pathBoxUpdated);
        m_pane->activateRow(rowOf(*m_pane, QStringLiteral("readme.txt")));
        QVERIFY(pathAsked.wait(10000));
        QCOMPARE(pathAsked.first().first().toString(), QStringLiteral("/pub"));
        QCOMPARE(listed.size(), 0);

        // Enter on the current row, "..", goes up.
        view->setFocus();
        QCOMPARE(m_pane->currentName(), QStringLiteral(".."));
        QVERIFY(list([&] { QTest::keyClick(view, Qt::Key_Return); }));
        QCOMPARE(m_pane->pathBox()->currentText(), QStringLiteral("/"));
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), strings({"/", "/pub"}));
        QVERIFY(rowOf(*m_pane, QStringLiteral("pub")) > 0);
    }

    void upButtonFollowsTheCurrentRow()
    {
        QVERIFY(serverFolder("pub/docs"));
        QVERIFY(connectToServer());
        QVERIFY(list([this] { m_pane->choosePath(QStringLiteral("/pub")); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "docs"}));

        // Nothing chosen: the current row is "..", one level up.
        QVERIFY(list([this] { m_pane->action(QStringLiteral("oben"))->trigger(); }));
        QCOMPARE(m_pane->pathBox()->currentText(), QStringLiteral("/"));
        // A folder row chosen: into it.
        m_pane->detailView()->setCurrentIndex(m_pane->model()->index(rowOf(*m_pane, QStringLiteral("pub")), 0));
        QVERIFY(list([this] { m_pane->action(QStringLiteral("oben"))->trigger(); }));
        QCOMPARE(m_pane->pathBox()->currentText(), QStringLiteral("/pub"));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "docs"}));
    }

    void vanishedPathListsTheUnchangedFolder()
    {
        QVERIFY(serverFolder("pub/old") && serverFile("pub/keep.txt"));
        QVERIFY(connectAndList());
        QVERIFY(list([this] { m_pane->activateRow(rowOf(*m_pane, QStringLiteral("pub"))); }));
        QVERIFY(list([this] { m_pane->activateRow(rowOf(*m_pane, QStringLiteral("old"))); }));
        QVERIFY(list([this] { m_pane->activateRow(0); }));
        const QStringList entries{QStringLiteral("/"), QStringLiteral("/pub"), QStringLiteral("/pub/old")};
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), entries);
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "old", "keep.txt"}));

        QVERIFY(QDir(m_root->filePath(QStringLiteral("pub/old"))).removeRecursively());
        // The user's choice arrives as activated().
        QVERIFY(list([this] { Q_EMIT m_pane->pathBox()->activated(2); }));
        QCOMPARE(namesOf(m_pane->rows()), strings({"..", "keep.txt"}));
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), entries);

        // A path box choice that works lists that folder and leaves the entries alone.
        QVERIFY(list([this] { Q_EMIT m_pane->pathBox()->activated(0); }));
        QVERIFY(rowOf(*m_pane, QStringLiteral("pub")) > 0);
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), entries);
    }

    void stalePathsAreRemoved()
    {
        QVERIFY(serverFolder("pub/old/deep") && serverFolder("other"));
        QVERIFY(connectToServer());
        for (const QString& path : {QStringLiteral("/pub/old/deep"), QStringLiteral("/pub/old"), QStringLiteral("/pub"),
                                    QStringLiteral("/other")}) {
            QSignalSpy updated(m_pane.get(), &RemotePane::pathBoxUpdated);
            m_pane->choosePath(path);
            m_pane->updatePathBox();
            QVERIFY(updated.wait(10000));
        }
        QCOMPARE(m_pane->pathBox()->count(), 4);
        QVERIFY(QDir(m_root->filePath(QStringLiteral("pub/old"))).removeRecursively());

        QSignalSpy removed(m_pane.get(), &RemotePane::stalePathsRemoved);
        m_pane->removeStalePaths();
        QVERIFY(removed.wait(10000));
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), strings({"/pub", "/other"}));
        // The server is back in the folder it was in.
        QVERIFY(list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(m_pane->pathBox()->currentText(), QStringLiteral("/other"));
    }

    void unlistableFolderShowsOnlyParent()
    {
        // The server is still there, but the folder it is in went away under it.
        QVERIFY(serverFolder("gone") && serverFile("gone/a.txt"));
        QVERIFY(connectToServer());
        QVERIFY(list([this] { m_pane->choosePath(QStringLiteral("/gone")); }));
        QCOMPARE(m_pane->rows().size(), 2);
        QVERIFY(QDir(m_root->filePath(QStringLiteral("gone"))).removeRecursively());
        QVERIFY(list([this] { m_pane->refreshRemote(true); }));
        QCOMPARE(namesOf(m_pane->rows()), QStringList{QStringLiteral("..")});
        QVERIFY(m_pane->listing().isEmpty());
    }

    void droppedConnectionKeepsTheRows()
    {
        QVERIFY(serverFile("a.txt"));
        QVERIFY(connectAndList());
        const QList<EntryRow> rows = m_pane->rows();
        QCOMPARE(rows.size(), 2);

        m_server->stop();
        m_pane->detailView()->setFocus();
        QVERIFY(list([this] { QTest::keyClick(m_pane->detailView(), Qt::Key_F5); }));
        QCOMPARE(m_pane->rows(), rows);
        QCOMPARE(pathBoxEntries(m_pane->pathBox()), QStringList{QStringLiteral("/")});
    }

    void commandsNeedAConnectionAndAreSignalled()
    {
        QSignalSpy deleted(m_pane.get(), &RemotePane::deleteRequested);
        QSignalSpy opened(m_pane.get(), &RemotePane::openRequested);
        QSignalSpy created(m_pane.get(), &RemotePane::newFolderRequested);
        QSignalSpy downloaded(m_pane.get(), &RemotePane::downloadRequested);
        // Not connected: every button says so, and nothing is asked for.
        const QStringList keys = strings({"del", "open", "new", "oben", "actualize", "download"});
        for (const QString& key : keys)
            m_pane->action(key)->trigger();
        QCOMPARE(m_prompter->messages.size(), keys.size());
        for (const MessageRequest& message : std::as_const(m_prompter->messages)) {
            QCOMPARE(message.text, getText("FRMSERVER_NOCONNECTION"));
            QCOMPARE(message.icon, PromptIcon::Information);
            QCOMPARE(message.buttons, PromptButtons::Ok);
        }
        QVERIFY(!m_pane->isBusy());
        QCOMPARE(deleted.size() + opened.size() + created.size() + downloaded.size(), 0);

        m_prompter->messages.clear();
        QVERIFY(serverFile("a.txt"));
        QVERIFY(connectAndList());
        QSignalSpy menu(m_pane.get(), &RemotePane::contextMenuRequested);
        for (const char* key : {"del", "open", "new", "download"})
            m_pane->action(QLatin1String(key))->trigger();
        QCOMPARE(deleted.size(), 1);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(created.size(), 1);
        QCOMPARE(downloaded.size(), 1);
        QVERIFY(m_prompter->messages.isEmpty());

        m_pane->detailView()->setFocus();
        QTest::keyClick(m_pane->detailView(), Qt::Key_Delete);
        QCOMPARE(deleted.size(), 2);

        QWidget* viewport = m_pane->detailView()->viewport();
        const QPoint where = m_pane->detailView()->visualRect(m_pane->model()->index(1, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, where, viewport->mapToGlobal(where));
        QApplication::sendEvent(viewport, &event);
        QCOMPARE(menu.size(), 1);
        QCOMPARE(menu.first().first().toPoint(), viewport->mapToGlobal(where));

        // The selection in list order, as the commands read it.
        QItemSelectionModel* selection = m_pane->detailView()->selectionModel();
        selection->select(m_pane->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(namesOf(m_pane->selectedRows()), strings({"..", "a.txt"}));

        // Without rows there is no current row and no menu.
        m_pane->clearRemote();
        QVERIFY(m_pane->rows().isEmpty());
        QVERIFY(!m_pane->currentRow());
        QApplication::sendEvent(viewport, &event);
        QCOMPARE(menu.size(), 1);
    }

    void viewsAndHeaders()
    {
        QTreeView* details = m_pane->detailView();
        QCOMPARE(m_pane->viewMode(), RemotePane::ViewMode::Details);
        QVERIFY(m_pane->action(QStringLiteral("vier"))->isChecked());
        QCOMPARE(details->columnWidth(EntryListModel::SizeColumn), 50);
        QCOMPARE(m_pane->model()->headerData(EntryListModel::NameColumn, Qt::Horizontal).toString(),
                 getText("FRMSERVER_FILENAME"));
        // A click on a header sorts nothing.
        QVERIFY(!details->header()->sectionsClickable());

        auto* stack = qobject_cast<QStackedWidget*>(details->parentWidget());
        QVERIFY(stack);
        m_pane->action(QStringLiteral("eins"))->trigger();
        QCOMPARE(stack->currentWidget(), static_cast<QWidget*>(m_pane->iconView()));
        QCOMPARE(m_pane->iconView()->viewMode(), QListView::IconMode);
        m_pane->action(QStringLiteral("vier"))->trigger();
        QCOMPARE(stack->currentWidget(), static_cast<QWidget*>(details));
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
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
        for (const char* key : {"eins", "zwei", "drei"}) {
            m_pane->action(QLatin1String(key))->trigger();
            const QStringList problems = AccessibilityAudit::problems(m_pane.get());
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        }
        m_pane->action(QStringLiteral("vier"))->trigger();
        QVERIFY(AccessibilityAudit::problems(m_pane.get()).isEmpty());
        QCOMPARE(m_pane->detailView()->accessibleDescription(), QStringLiteral("lsvServer"));
        QCOMPARE(m_pane->iconView()->accessibleDescription(), QStringLiteral("lsvServer"));
        QCOMPARE(m_pane->pathBox()->accessibleDescription(), QStringLiteral("cboServer"));
        QVERIFY(!m_pane->pathBox()->accessibleName().isEmpty());
        QCOMPARE(m_pane->action(QStringLiteral("oben"))->text(), m_pane->action(QStringLiteral("oben"))->toolTip());

        // Tab runs through the toolbars and the path box into the list.
        QWidget* widget = m_pane->pathBox();
        QStringList order;
        for (int i = 0; i < 6; ++i) {
            widget = widget->nextInFocusChain();
            while (widget->focusPolicy() == Qt::NoFocus)
                widget = widget->nextInFocusChain();
            order.append(widget->objectName());
        }
        QVERIFY2(order.contains(QStringLiteral("lsvServer")), qPrintable(order.join(QLatin1Char(' '))));
    }

private:
    bool connectToServer(const FtpServerFixture::Options& options = {})
    {
        m_server = std::make_unique<FtpServerFixture>(options);
        if (m_server->start(m_root->path()) == 0) {
            qWarning("%s", qPrintable(m_server->errorText()));
            return false;
        }
        const ConnectionSettings settings{m_server->host(), m_server->portText(), FtpServerFixture::user(),
                                          FtpServerFixture::password(), true};
        QSignalSpy connected(m_runner.get(), &SessionRunner::connectedChanged);
        m_runner->start<bool>(
            [settings](JobContext& context) {
                return context.session().openConnection(settings) && context.session().ftpSetDir(QStringLiteral("/"));
            },
            {});
        return connected.wait(10000) && m_runner->isConnected();
    }

    bool connectAndList(const FtpServerFixture::Options& options = {})
    {
        return connectToServer(options) && list([this] { m_pane->refreshRemote(true); });
    }

    // The current folder's entries as the server sends them.
    QList<RemoteEntry> serverListing()
    {
        QList<RemoteEntry> entries;
        QSignalSpy done(m_runner.get(), &SessionRunner::idle);
        m_runner->start<QList<RemoteEntry>>(
            [](JobContext& context) { return context.session().ftpList().value_or(QList<RemoteEntry>()); },
            [&entries](QList<RemoteEntry> listed) { entries = std::move(listed); });
        done.wait(10000);
        return entries;
    }

    // Runs action and waits for the listing it starts.
    bool list(const std::function<void()>& action)
    {
        QSignalSpy finished(m_pane.get(), &RemotePane::listingFinished);
        action();
        return finished.wait(10000) && !m_pane->isBusy();
    }

    bool serverFile(const char* name, qint64 size = 0) const
    {
        QFile file(m_root->filePath(QString::fromUtf8(name)));
        return file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size;
    }

    bool serverFolder(const char* path) const { return QDir(m_root->path()).mkpath(QString::fromUtf8(path)); }

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<FtpServerFixture> m_server;
    std::unique_ptr<SessionRunner> m_runner;
    std::unique_ptr<RemoteIconStore> m_icons;
    std::unique_ptr<CountingTypeProvider> m_provider;
    std::unique_ptr<RemotePane> m_pane;
};

QTEST_MAIN(RemotePaneTest)
#include "tst_remotepane.moc"
