#include "AccessibilityAudit.h"
#include "CountingTypeProvider.h"
#include "EntryListModel.h"
#include "FakeFtpServer.h"
#include "FolderTree.h"
#include "InlineJobRunner.h"
#include "LocalActions.h"
#include "LocalPane.h"
#include "NameLists.h"
#include "ScriptedPrompter.h"
#include "TextCatalogue.h"
#include "ViewModeBar.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>

namespace {

constexpr int keyRole = FolderTree::KeyRole;
constexpr int tagRole = FolderTree::TagRole;

QStringList childTexts(const QTreeWidgetItem* node)
{
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts.append(node->child(i)->text(0));
    return texts;
}

QTreeWidgetItem* childNamed(const QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->text(0) == text)
            return node->child(i);
    }
    return nullptr;
}

} // namespace

class LocalPaneTest : public QObject
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
        // root/ .hidden/  Alpha/Inner/Deep/  beta/  MixedCase/  .dotfile  file.txt  Z.txt
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_root = m_dir->path() + QLatin1Char('/');
        for (const char* folder : {".hidden", "Alpha/Inner/Deep", "beta", "MixedCase"})
            QVERIFY(QDir(m_root).mkpath(QString::fromLatin1(folder)));
        for (const char* file : {".dotfile", "file.txt", "Z.txt", "Alpha/inside.txt"})
            createFile(QString::fromLatin1(file));

        m_prompter = std::make_unique<ScriptedPrompter>();
        m_provider = std::make_unique<CountingTypeProvider>(
            QHash<QString, QString>{{QStringLiteral("txt"), QStringLiteral("Textdokument")}});
        m_pane = std::make_unique<LocalPane>(nullptr, m_provider.get());
        m_runner = std::make_unique<InlineJobRunner>(m_server);
        m_actions = new LocalActions(*m_pane, *m_runner, {}, m_pane.get());
        m_pane->resize(900, 600);
        m_pane->changeDrive(m_dir->path());
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
        m_provider->reset();
    }

    void cleanup()
    {
        m_pane.reset();
        m_runner.reset();
        m_provider.reset();
        m_prompter.reset();
        m_dir.reset();
    }

    void startsOnTheDriveRoot()
    {
        QCOMPARE(m_pane->driveRoot(), m_root);
        QCOMPARE(m_pane->currentFolderPath(), m_root);
        QCOMPARE(m_pane->listedFolder(), m_root);
        QCOMPARE(namesOf(m_pane->entries()), strings({".hidden", "Alpha", "beta", "MixedCase", ".dotfile", "file.txt", "Z.txt"}));
        QCOMPARE(pathBox()->count(), 1);
        QCOMPARE(pathBox()->currentText(), m_dir->path());
        QCOMPARE(m_pane->viewMode(), LocalPane::ViewMode::Details);
        QVERIFY(detailView()->isVisible());

        // Rows: a folder shows no size and the catalogue's folder text; a file its size and type.
        QCOMPARE(m_pane->entries()[1].kind, EntryKind::Folder);
        QCOMPARE(m_pane->entries()[5].kind, EntryKind::File);
        QCOMPARE(model()->text(1, EntryListModel::SizeColumn), QString());
        QCOMPARE(model()->text(1, EntryListModel::TypeColumn), getText("FOLDER"));
        QCOMPARE(model()->text(1, EntryListModel::AttributeColumn), QStringLiteral("D"));
        QCOMPARE(model()->text(4, EntryListModel::AttributeColumn), QStringLiteral("H"));
        QCOMPARE(model()->text(5, EntryListModel::SizeColumn), QStringLiteral("1 KB"));
        QCOMPARE(model()->text(5, EntryListModel::TypeColumn), QStringLiteral("Textdokument"));
        QCOMPARE(model()->headerData(4, Qt::Horizontal).toString(), getText("FRMLOCAL_ATTRIBUTE"));

        // The tree holds the drive's folders and one level more.
        QTreeWidgetItem* drive = tree()->topLevelItem(0);
        QCOMPARE(drive->text(0), m_dir->path());
        QCOMPARE(drive->data(0, keyRole).toString(), m_root);
        QVERIFY(drive->isExpanded());
        QCOMPARE(childTexts(drive), strings({".hidden", "Alpha", "beta", "MixedCase"}));
        QTreeWidgetItem* alpha = childNamed(drive, QStringLiteral("Alpha"));
        QCOMPARE(alpha->data(0, tagRole).toString(), QStringLiteral("*"));
        QCOMPARE(childTexts(alpha), QStringList{QStringLiteral("Inner")});
        QTreeWidgetItem* inner = alpha->child(0);
        QCOMPARE(inner->data(0, keyRole).toString(), m_root + QStringLiteral("Alpha/Inner/"));
        QCOMPARE(inner->childCount(), 0);
        QVERIFY(inner->data(0, tagRole).toString().isEmpty());
    }

    void folderPictureFetchedOncePerListing()
    {
        m_pane->viewFolder(m_root);
        QCOMPARE(m_provider->folderIconQuestions, 1);
        QCOMPARE(m_provider->typeNameQuestions.size(), 2); // ztxt and zdotfile
        QVERIFY(model()->icons().contains(QStringLiteral("Folder")));
        m_provider->reset();
        m_pane->viewFolder(m_root + QStringLiteral("Alpha/Inner/Deep"));
        QCOMPARE(m_pane->listedFolder(), m_root + QStringLiteral("Alpha/Inner/Deep/"));
        QVERIFY(m_pane->entries().isEmpty());
        QCOMPARE(m_provider->folderIconQuestions, 0);
    }

    void expansionLoadsEachLevelOnce()
    {
        QTreeWidgetItem* alpha = childNamed(tree()->topLevelItem(0), QStringLiteral("Alpha"));
        QTreeWidgetItem* inner = alpha->child(0);
        alpha->setExpanded(true);
        QCOMPARE(inner->data(0, tagRole).toString(), QStringLiteral("*"));
        QCOMPARE(childTexts(inner), QStringList{QStringLiteral("Deep")});

        // A folder made now does not appear on the next expansion: the level is not read again.
        QVERIFY(QDir(m_root).mkpath(QStringLiteral("Alpha/Inner/Late")));
        alpha->setExpanded(false);
        alpha->setExpanded(true);
        QCOMPARE(childTexts(inner), QStringList{QStringLiteral("Deep")});
    }

    void refreshesOfThePaneAndOfTheContextMenu()
    {
        // The context menu's refresh lists in code order and shows no D for folders.
        m_actions->action(LocalCommand::RefreshFromMenu)->trigger();
        QCOMPARE(namesOf(m_pane->entries()), strings({".hidden", "Alpha", "MixedCase", "beta", ".dotfile", "Z.txt", "file.txt"}));
        QCOMPARE(model()->text(1, EntryListModel::AttributeColumn), QString());
        QCOMPARE(model()->text(0, EntryListModel::AttributeColumn), QStringLiteral("H"));

        // F5, the toolbar and the main menu's refresh list in the pane's own order, new files too.
        createFile(QStringLiteral("new.txt"));
        QSignalSpy listed(m_pane.get(), &LocalPane::folderListed);
        detailView()->setFocus();
        QTest::keyClick(detailView(), Qt::Key_F5);
        QCOMPARE(listed.count(), 1);
        QCOMPARE(namesOf(m_pane->entries()).mid(4, 2), strings({".dotfile", "file.txt"}));
        QVERIFY(namesOf(m_pane->entries()).contains(QStringLiteral("new.txt")));
        createFile(QStringLiteral("newer.txt"));
        toolbarButton(QStringLiteral("refresh"))->trigger();
        QVERIFY(namesOf(m_pane->entries()).contains(QStringLiteral("newer.txt")));
    }

    void missingFoldersLeaveThePathBox()
    {
        doubleClickRow(QStringLiteral("beta"));
        choosePathBoxEntry(0);
        doubleClickRow(QStringLiteral("MixedCase"));
        QCOMPARE(pathBox()->count(), 3);
        QVERIFY(QDir(m_root + QStringLiteral("beta")).removeRecursively());
        m_pane->removeMissingPathBoxEntries();
        QCOMPARE(pathBox()->count(), 2);
        QCOMPARE(pathBox()->itemText(0), m_dir->path());
        QCOMPARE(pathBox()->itemText(1), m_root + QStringLiteral("MixedCase"));
    }

    void doubleClickOpensSubfolder()
    {
        QSignalSpy listed(m_pane.get(), &LocalPane::folderListed);
        doubleClickRow(QStringLiteral("Alpha"));
        QCOMPARE(listed.count(), 1);
        const QString alpha = m_root + QStringLiteral("Alpha/");
        QCOMPARE(m_pane->listedFolder(), alpha);
        QCOMPARE(m_pane->currentFolderPath(), alpha);
        QCOMPARE(tree()->currentItem()->data(0, keyRole).toString(), alpha);
        QVERIFY(tree()->currentItem()->isExpanded());
        QCOMPARE(pathBox()->count(), 2);
        QCOMPARE(pathBox()->currentText(), m_root + QStringLiteral("Alpha"));
        QCOMPARE(namesOf(m_pane->entries()), strings({"Inner", "inside.txt"}));

        // Back to the root through the path box: listed, with the drive's node in the tree.
        listed.clear();
        choosePathBoxEntry(0);
        QCOMPARE(listed.count(), 1);
        QCOMPARE(m_pane->listedFolder(), m_root);
        QCOMPARE(m_pane->currentFolderPath(), m_root);
        QCOMPARE(tree()->currentItem(), tree()->topLevelItem(0));
        choosePathBoxEntry(1);
        QCOMPARE(m_pane->currentFolderPath(), alpha);

        // In again from the root: the entry is not added twice.
        choosePathBoxEntry(0);
        doubleClickRow(QStringLiteral("Alpha"));
        QCOMPARE(pathBox()->count(), 2);

        // A double click on a file does nothing.
        listed.clear();
        doubleClickRow(QStringLiteral("inside.txt"));
        QCOMPARE(listed.count(), 0);
        QCOMPARE(m_pane->listedFolder(), alpha);
    }

    void enterOpensSubfolderKeepingTheCaseOfItsName()
    {
        detailView()->setFocus();
        detailView()->setCurrentIndex(model()->index(rowOf(QStringLiteral("MixedCase")), 0));
        QTest::keyClick(detailView(), Qt::Key_Return);
        QCOMPARE(m_pane->currentFolderPath(), m_root + QStringLiteral("MixedCase/"));
        QCOMPARE(pathBox()->currentText(), m_root + QStringLiteral("MixedCase"));
    }

    void doubleClickOnFolderMadeAfterTheTree()
    {
        // The tree was read before Gamma existed; opening Gamma still moves the tree there, so
        // that the tree's folder (which commands act on) is the folder shown.
        QVERIFY(QDir(m_root).mkpath(QStringLiteral("Gamma")));
        m_pane->refreshLocal();
        doubleClickRow(QStringLiteral("Gamma"));
        QCOMPARE(m_pane->listedFolder(), m_root + QStringLiteral("Gamma/"));
        QCOMPARE(m_pane->currentFolderPath(), m_root + QStringLiteral("Gamma/"));
    }

    void typedPathInPathBox()
    {
        // A folder whose node is not loaded yet: the tree loads the levels down to it.
        QLineEdit* edit = pathBox()->lineEdit();
        edit->setText(m_root + QStringLiteral("Alpha/Inner/Deep"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(m_pane->listedFolder(), m_root + QStringLiteral("Alpha/Inner/Deep/"));
        QCOMPARE(m_pane->currentFolderPath(), m_root + QStringLiteral("Alpha/Inner/Deep/"));
        QCOMPARE(pathBox()->currentText(), m_root + QStringLiteral("Alpha/Inner/Deep"));

        // A folder that does not exist, or lies outside the drive, changes nothing.
        QSignalSpy listed(m_pane.get(), &LocalPane::folderListed);
        edit->setText(m_root + QStringLiteral("Nowhere"));
        QTest::keyClick(edit, Qt::Key_Return);
        edit->setText(QStringLiteral("/"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(listed.count(), 0);
        QCOMPARE(m_pane->currentFolderPath(), m_root + QStringLiteral("Alpha/Inner/Deep/"));
    }

    void clickingANodeListsItsFolder()
    {
        QTreeWidgetItem* beta = childNamed(tree()->topLevelItem(0), QStringLiteral("beta"));
        QTRY_VERIFY(tree()->visualItemRect(beta).isValid());
        const QRect rect = tree()->visualItemRect(beta);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(m_pane->listedFolder(), m_root + QStringLiteral("beta/"));
        QCOMPARE(m_pane->currentFolderPath(), m_root + QStringLiteral("beta/"));
        QCOMPARE(pathBox()->currentText(), m_root + QStringLiteral("beta"));

        // Moving through the tree with the keyboard lists each folder reached.
        tree()->setFocus();
        QTest::keyClick(tree(), Qt::Key_Up);
        QCOMPARE(m_pane->listedFolder(), m_root + QStringLiteral("Alpha/"));
        QCOMPARE(m_pane->currentFolderPath(), m_root + QStringLiteral("Alpha/"));
    }

    void selectionAndCurrentRow()
    {
        QCOMPARE(m_pane->currentName(), QString());
        QItemSelectionModel* selection = detailView()->selectionModel();
        selection->select(model()->index(rowOf(QStringLiteral("Z.txt")), 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->setCurrentIndex(model()->index(rowOf(QStringLiteral("beta")), 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(m_pane->selectedNames(), strings({"beta", "Z.txt"}));
        QCOMPARE(m_pane->currentName(), QStringLiteral("beta"));
        const QList<FileEntry> selected = m_pane->selectedEntries();
        QCOMPARE(selected.size(), 2);
        QCOMPARE(selected[0].kind, EntryKind::Folder);
    }

    void everyToolbarCommandIsBuiltAndTheContextMenuOffersUpload()
    {
        for (const char* key : {"del", "prop", "new", "open", "refresh", "upload"})
            QVERIFY2(toolbarButton(QString::fromLatin1(key))->isEnabled(), key);
        QMenu* menu = m_actions->contextMenu();
        QCOMPARE(menu->objectName(), QStringLiteral("frmPopUpfrmLocal"));
        QCOMPARE(menu->defaultAction(), m_actions->action(LocalCommand::UploadFromMenu));
        QCOMPARE(menu->actions().last(), m_actions->action(LocalCommand::Properties));
    }

    void unreadableDriveShowsMessage()
    {
        const QString missing = m_root + QStringLiteral("no-medium");
        m_pane->changeDrive(missing);
        QCOMPARE(m_prompter->messages.size(), 1);
        const MessageRequest& message = m_prompter->messages.first();
        QCOMPARE(message.icon, PromptIcon::Exclamation);
        QCOMPARE(message.buttons, PromptButtons::Ok);
        QCOMPARE(message.text, getText("FRMLOCAL_INSERTDEVICE") + QLatin1Char(' ') + missing + getText("FRMLOCAL_INTO"));
        QCOMPARE(m_pane->driveRoot(), m_root);
        QCOMPARE(m_pane->listedFolder(), m_root);
        QCOMPARE(pathBox()->count(), 1);
    }

    void changeOfDriveResetsTreeAndPathBox()
    {
        doubleClickRow(QStringLiteral("Alpha"));
        QCOMPARE(pathBox()->count(), 2);
        const QString other = m_root + QStringLiteral("Alpha/Inner");
        m_pane->changeDrive(other);
        QCOMPARE(m_pane->driveRoot(), other + QLatin1Char('/'));
        QCOMPARE(pathBox()->count(), 1);
        QCOMPARE(pathBox()->currentText(), other);
        QCOMPARE(tree()->topLevelItemCount(), 1);
        QCOMPARE(childTexts(tree()->topLevelItem(0)), QStringList{QStringLiteral("Deep")});
        QCOMPARE(m_pane->listedFolder(), other + QLatin1Char('/'));
    }

    void accessibleToScreenReadersAndKeyboard()
    {
        QCOMPARE(m_pane->windowTitle(), withoutMnemonic(getText("FRMLOCAL_MYCOMPUTER")));
        const QString caption = withoutMnemonic(getText("FRMLOCAL_MYCOMPUTER"));
        QCOMPARE(detailView()->accessibleName(), caption + QStringLiteral(" - ") + getText("FRMLOCAL_DETAIL"));
        QCOMPARE(tree()->accessibleName(), caption);
        QCOMPARE(tree()->accessibleDescription(), getText("DESC_LOCAL_TREE"));
        QCOMPARE(pathBox()->lineEdit()->accessibleName(), getText("FOLDER"));
        QCOMPARE(toolbarButton(QStringLiteral("del"))->text(), getText("FRMLOCAL_DELETE"));

        const QStringList problems = AccessibilityAudit::problems(m_pane.get());
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));

        // Tab reaches every control and every toolbar button.
        m_pane->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pane.get()));
        auto* drives = m_pane->findChild<QComboBox*>(QStringLiteral("drvDrive"));
        drives->setFocus();
        QList<QWidget*> reached;
        for (int i = 0; i < 40; ++i) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus);
            if (focus == pathBox()->lineEdit())
                focus = pathBox();
            reached.append(focus);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        // Every button that can be used (the disabled ones are skipped, as everywhere).
        for (QToolBar* bar : m_pane->findChildren<QToolBar*>()) {
            for (QAction* barAction : bar->actions()) {
                if (barAction->isEnabled())
                    QVERIFY2(reached.contains(bar->widgetForAction(barAction)), qPrintable(barAction->objectName()));
            }
        }
        for (QWidget* control : {static_cast<QWidget*>(drives), static_cast<QWidget*>(tree()),
                                 static_cast<QWidget*>(detailView()), static_cast<QWidget*>(pathBox())})
            QVERIFY2(reached.contains(control), qPrintable(control->objectName()));
        // In the order the pane shows them: drives, path box, tree, list, views.
        QVERIFY(reached.indexOf(drives) < reached.indexOf(pathBox()));
        QVERIFY(reached.indexOf(pathBox()) < reached.indexOf(tree()));
        QVERIFY(reached.indexOf(tree()) < reached.indexOf(detailView()));
    }

private:
    void createFile(const QString& name)
    {
        QFile file(m_root + name);
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(name));
    }

    int rowOf(const QString& name) const { return static_cast<int>(namesOf(m_pane->entries()).indexOf(name)); }

    void doubleClickRow(const QString& name)
    {
        const int row = rowOf(name);
        QVERIFY2(row >= 0, qPrintable(name));
        // The view lays out its rows after a listing, when events are processed.
        QTRY_VERIFY(detailView()->visualRect(model()->index(row, 0)).isValid());
        const QRect rect = detailView()->visualRect(model()->index(row, 0));
        // A real double click starts with a click; QTest's double click alone sends no press.
        QTest::mouseClick(detailView()->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(detailView()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    void choosePathBoxEntry(int index)
    {
        // As the user does it: the keyboard moves the current entry and activates it.
        QComboBox* box = pathBox();
        box->setFocus();
        const int steps = box->currentIndex() - index;
        for (int i = 0; i < qAbs(steps); ++i)
            QTest::keyClick(box, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(box->currentIndex(), index);
    }

    QAction* toolbarButton(const QString& key) const
    {
        for (QAction* action : m_pane->commandBar()->actions()) {
            if (action->objectName() == key)
                return action;
        }
        return nullptr;
    }

    QTreeWidget* tree() const { return m_pane->findChild<QTreeWidget*>(QStringLiteral("trwPaths")); }
    QTreeView* detailView() const { return m_pane->findChild<QTreeView*>(QStringLiteral("lsvDirFile")); }
    QComboBox* pathBox() const { return m_pane->findChild<QComboBox*>(QStringLiteral("cboLocal")); }
    EntryListModel* model() const { return m_pane->findChild<EntryListModel*>(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<CountingTypeProvider> m_provider;
    std::unique_ptr<LocalPane> m_pane;
    FakeFtpServer m_server;
    std::unique_ptr<InlineJobRunner> m_runner;
    LocalActions* m_actions = nullptr;
};

QTEST_MAIN(LocalPaneTest)
#include "tst_localpane.moc"
