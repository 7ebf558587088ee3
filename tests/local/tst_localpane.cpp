#include "FolderTree.h"
#include "LocalFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>

#include <memory>

// The local pane: its list, tree and path box, and how it moves between folders.
class LocalPaneTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useCatalogue("deutsch"); }

    void init()
    {
        // root/ .hidden/  Alpha/Inner/Deep/  beta/  MixedCase/  .dotfile  file.txt  Z.txt  Alpha/inside.txt
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + QLatin1Char('/');
        for (const char* folder : {".hidden", "Alpha/Inner/Deep", "beta", "MixedCase"})
            QVERIFY(QDir(m_root).mkpath(QString::fromLatin1(folder)));
        for (const char* file : {".dotfile", "file.txt", "Z.txt", "Alpha/inside.txt"})
            QVERIFY(writeFile(m_root + QString::fromLatin1(file)));
        m_fixture = std::make_unique<LocalFixture>(m_dir->path());
        m_pane = &m_fixture->pane;
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane));
    }

    void cleanup()
    {
        m_fixture.reset();
        m_dir.reset();
    }

    void startsOnTheDriveRoot()
    {
        QCOMPARE(m_pane->driveRoot(), m_root);
        QCOMPARE(m_pane->currentFolderPath(), m_root);
        QCOMPARE(m_fixture->pathBox()->currentText(), m_dir->path());
        QCOMPARE(m_pane->viewMode(), LocalPane::ViewMode::Details);
        // Folders first; an empty file takes 1 KB; the folder word and letters of the local side.
        QCOMPARE(m_fixture->rows(), strings({".hidden||Dateiordner|HD", "Alpha||Dateiordner|D", "beta||Dateiordner|D",
                                             "MixedCase||Dateiordner|D", ".dotfile|1 KB|ILE-Datei|H",
                                             "file.txt|1 KB|Textdokument|N", "Z.txt|1 KB|Textdokument|N"}));

        // The tree holds the drive's folders and one level more, marked as read.
        QTreeWidgetItem* drive = m_fixture->tree()->topLevelItem(0);
        QCOMPARE(FolderTree::keyOf(drive), m_root);
        QVERIFY(drive->isExpanded());
        QCOMPARE(m_fixture->treeNames(), strings({".hidden", "Alpha", "beta", "MixedCase"}));
        QTreeWidgetItem* alpha = drive->child(1);
        QCOMPARE(alpha->data(0, FolderTree::TagRole).toString(), QStringLiteral("*"));
        QCOMPARE(m_fixture->treeNames(alpha), strings({"Inner"}));
        QCOMPARE(alpha->child(0)->childCount(), 0);
        QVERIFY(alpha->child(0)->data(0, FolderTree::TagRole).toString().isEmpty());

        // Expanding loads a level once: a folder made afterwards does not appear on the next one.
        alpha->setExpanded(true);
        QCOMPARE(m_fixture->treeNames(alpha->child(0)), strings({"Deep"}));
        QVERIFY(QDir(m_root).mkpath(QStringLiteral("Alpha/Inner/Late")));
        alpha->setExpanded(false);
        alpha->setExpanded(true);
        QCOMPARE(m_fixture->treeNames(alpha->child(0)), strings({"Deep"}));
    }

    void refreshesOfThePaneAndOfTheContextMenu()
    {
        // The context menu's refresh lists in code order and shows no D for folders.
        m_fixture->actions->action(LocalCommand::RefreshFromMenu)->trigger();
        QCOMPARE(namesOf(m_pane->entries()),
                 strings({".hidden", "Alpha", "MixedCase", "beta", ".dotfile", "Z.txt", "file.txt"}));
        QCOMPARE(m_fixture->rows()[1], QStringLiteral("Alpha||Dateiordner|"));
        // F5 (the toolbar's refresh) lists again in the pane's own order, new files too.
        QVERIFY(writeFile(m_root + QStringLiteral("new.txt")));
        m_fixture->detailView()->setFocus();
        QTest::keyClick(m_fixture->detailView(), Qt::Key_F5);
        QCOMPARE(namesOf(m_pane->entries()).mid(4), strings({".dotfile", "file.txt", "new.txt", "Z.txt"}));
    }

    void listTreeAndPathBoxMoveTogether()
    {
        QSignalSpy listed(m_pane, &LocalPane::folderListed);
        m_fixture->doubleClickRow(QStringLiteral("Alpha"));
        const QString alpha = m_root + QStringLiteral("Alpha/");
        QCOMPARE(listed.count(), 1);
        QCOMPARE(m_pane->listedFolder(), alpha);
        QCOMPARE(m_pane->currentFolderPath(), alpha);
        QVERIFY(m_fixture->tree()->currentItem()->isExpanded());
        QCOMPARE(m_fixture->pathBox()->currentText(), m_root + QStringLiteral("Alpha"));
        QCOMPARE(namesOf(m_pane->entries()), strings({"Inner", "inside.txt"}));
        // A double click on a file does nothing.
        m_fixture->doubleClickRow(QStringLiteral("inside.txt"));
        QCOMPARE(listed.count(), 1);

        // Back to the root through the path box, as the keyboard does it, and in again: the path
        // box keeps one entry per folder.
        choosePathBoxEntry(0);
        QCOMPARE(m_pane->listedFolder(), m_root);
        QCOMPARE(m_fixture->tree()->currentItem(), m_fixture->tree()->topLevelItem(0));
        m_fixture->doubleClickRow(QStringLiteral("Alpha"));
        QCOMPARE(m_fixture->pathBox()->count(), 2);
        choosePathBoxEntry(0);

        // Enter opens a folder too; its name keeps its case.
        m_fixture->detailView()->setFocus();
        m_fixture->detailView()->setCurrentIndex(
            m_fixture->model()->index(m_fixture->rowOf(QStringLiteral("MixedCase")), 0));
        QTest::keyClick(m_fixture->detailView(), Qt::Key_Return);
        QCOMPARE(m_pane->currentFolderPath(), m_root + QStringLiteral("MixedCase/"));
        QCOMPARE(m_fixture->pathBox()->currentText(), m_root + QStringLiteral("MixedCase"));

        // A click on a node lists its folder; so does moving through the tree with the keyboard.
        QTreeWidget* tree = m_fixture->tree();
        QTreeWidgetItem* beta = tree->topLevelItem(0)->child(2);
        QTRY_VERIFY(tree->visualItemRect(beta).isValid());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(beta).center());
        QCOMPARE(m_pane->listedFolder(), m_root + QStringLiteral("beta/"));
        QCOMPARE(m_fixture->pathBox()->currentText(), m_root + QStringLiteral("beta"));
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Up); // Alpha is open: the node above beta is Inner
        QCOMPARE(m_pane->listedFolder(), alpha + QStringLiteral("Inner/"));
        QCOMPARE(m_pane->currentFolderPath(), alpha + QStringLiteral("Inner/"));
    }

    void typedPathsAndFoldersTheTreeHasNotRead()
    {
        // A folder made after the tree was read: opening it still moves the tree there, so that
        // the tree's folder (which commands act on) is the folder shown.
        QVERIFY(QDir(m_root).mkpath(QStringLiteral("Gamma")));
        m_pane->refreshLocal();
        m_fixture->doubleClickRow(QStringLiteral("Gamma"));
        QCOMPARE(m_pane->currentFolderPath(), m_root + QStringLiteral("Gamma/"));

        // A typed folder whose node is not loaded yet: the tree loads the levels down to it.
        QLineEdit* edit = m_fixture->pathBox()->lineEdit();
        const QString deep = m_root + QStringLiteral("Alpha/Inner/Deep/");
        edit->setText(deep.chopped(1));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(m_pane->listedFolder(), deep);
        QCOMPARE(m_pane->currentFolderPath(), deep);

        // A folder that does not exist, or lies outside the drive, changes nothing.
        QSignalSpy listed(m_pane, &LocalPane::folderListed);
        for (const QString& elsewhere : {m_root + QStringLiteral("Nowhere"), QStringLiteral("/")}) {
            edit->setText(elsewhere);
            QTest::keyClick(edit, Qt::Key_Return);
        }
        QCOMPARE(listed.count(), 0);
        QCOMPARE(m_pane->currentFolderPath(), deep);
    }

    void drivesThatCanAndCannotBeRead()
    {
        const QString missing = m_root + QStringLiteral("no-medium");
        m_pane->changeDrive(missing);
        QCOMPARE(m_fixture->prompter.messages.size(), 1);
        QCOMPARE(m_fixture->prompter.messages[0].text,
                 getText("FRMLOCAL_INSERTDEVICE") + QLatin1Char(' ') + missing + getText("FRMLOCAL_INTO"));
        QCOMPARE(m_fixture->prompter.messages[0].icon, PromptIcon::Exclamation);
        QCOMPARE(m_pane->listedFolder(), m_root);

        // Another drive: the tree and the path box start again from its root.
        m_fixture->doubleClickRow(QStringLiteral("Alpha"));
        const QString other = m_root + QStringLiteral("Alpha/Inner");
        m_pane->changeDrive(other);
        QCOMPARE(m_pane->driveRoot(), other + QLatin1Char('/'));
        QCOMPARE(m_pane->listedFolder(), other + QLatin1Char('/'));
        QCOMPARE(m_fixture->pathBox()->count(), 1);
        QCOMPARE(m_fixture->pathBox()->currentText(), other);
        QCOMPARE(m_fixture->tree()->topLevelItemCount(), 1);
        QCOMPARE(m_fixture->treeNames(), strings({"Deep"}));
    }

    // Server rows dropped on the list, a folder row or a tree node go to that folder; the pane's
    // own rows do not drop here.
    void dropsGoWhereTheyFall()
    {
        const DraggedRows server{QStringLiteral("/pub"), {{QStringLiteral("r.bin"), false, 9}}};
        const std::unique_ptr<QMimeData> data(EntryDrag::mimeDataOf(ListSide::Remote, server));
        QSignalSpy dropped(m_pane, &LocalPane::serverRowsDropped);
        QAbstractItemModel* tree = m_fixture->tree()->model();
        const QModelIndex beta = tree->index(2, 0, tree->index(0, 0));
        QVERIFY(m_fixture->model()->dropMimeData(data.get(), Qt::CopyAction, -1, 0, QModelIndex()));
        QVERIFY(m_fixture->model()->dropMimeData(data.get(), Qt::CopyAction, -1, 0,
                                                 m_fixture->model()->index(m_fixture->rowOf(QStringLiteral("Alpha")), 0)));
        QVERIFY(tree->dropMimeData(data.get(), Qt::CopyAction, -1, 0, beta));
        QTRY_COMPARE(dropped.size(), 3);
        QCOMPARE((QStringList{dropped[0][1].toString(), dropped[1][1].toString(), dropped[2][1].toString()}),
                 (QStringList{m_root, m_root + QStringLiteral("Alpha/"), m_root + QStringLiteral("beta/")}));
        const std::unique_ptr<QMimeData> own(m_fixture->model()->mimeData({m_fixture->model()->index(0, 0)}));
        QVERIFY(!m_fixture->model()->canDropMimeData(own.get(), Qt::CopyAction, -1, 0, QModelIndex()));
        QVERIFY(!tree->dropMimeData(own.get(), Qt::CopyAction, -1, 0, beta));
    }

    void contextMenuAndKeyboard()
    {
        // The context menu's default entry is the upload, shown in bold.
        QCOMPARE(m_fixture->actions->contextMenu()->defaultAction(),
                 m_fixture->actions->action(LocalCommand::UploadFromMenu));

        // Tab reaches every control and every toolbar button that can be used, in the order the
        // pane shows them: drives, path box, tree, list, views.
        m_pane->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pane));
        auto* drives = m_pane->findChild<QComboBox*>(QStringLiteral("drvDrive"));
        drives->setFocus();
        QList<QWidget*> reached;
        for (int i = 0; i < 40; ++i) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus);
            reached.append(focus == m_fixture->pathBox()->lineEdit() ? m_fixture->pathBox() : focus);
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        for (QToolBar* bar : m_pane->findChildren<QToolBar*>()) {
            for (QAction* action : bar->actions())
                QVERIFY2(!action->isEnabled() || reached.contains(bar->widgetForAction(action)),
                         qPrintable(action->objectName()));
        }
        const QList<QWidget*> order{drives, m_fixture->pathBox(), m_fixture->tree(), m_fixture->detailView()};
        for (int i = 1; i < order.size(); ++i)
            QVERIFY2(reached.indexOf(order[i - 1]) >= 0 && reached.indexOf(order[i - 1]) < reached.indexOf(order[i]),
                     qPrintable(order[i]->objectName()));
    }

private:
    void choosePathBoxEntry(int index)
    {
        // As the user does it: the keyboard moves the current entry and activates it.
        QComboBox* box = m_fixture->pathBox();
        box->setFocus();
        while (box->currentIndex() != index) {
            const int before = box->currentIndex();
            QTest::keyClick(box, before > index ? Qt::Key_Up : Qt::Key_Down);
            QVERIFY(box->currentIndex() != before);
        }
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    std::unique_ptr<LocalFixture> m_fixture;
    LocalPane* m_pane = nullptr;
};

QTEST_MAIN(LocalPaneTest)
#include "tst_localpane.moc"
