#include "AccessibilityAudit.h"
#include "EntryListModel.h"
#include "EntryListView.h"
#include "TestHelpers.h"
#include "ViewModeBar.h"

#include <QAccessible>
#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QListView>
#include <QTimeZone>
#include <QTreeView>
#include <QVBoxLayout>

// The four-view list both panes show: one model, one selection, the view buttons, the keys the
// list keeps for itself, and what a screen reader finds.
class EntryListViewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useCatalogue("deutsch"); }

    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_model = new EntryListModel(m_window.get());
        m_model->setHeaderTexts({QStringLiteral("Name"), QStringLiteral("Größe"), QStringLiteral("Typ"),
                                 QStringLiteral("Geändert"), QStringLiteral("Attribute")});
        QList<FileEntry> rows;
        for (const char* name : {"docs", "a.txt", "b.txt"}) {
            FileEntry entry;
            entry.name = QString::fromLatin1(name);
            entry.kind = entry.name == QLatin1String("docs") ? EntryKind::Folder : EntryKind::File;
            rows.append(entry);
        }
        m_model->setRows(rows, {}, {ListSide::Local, AttributeOrder::Local, QStringLiteral("Ordner")});
        m_bar = new ViewModeBar(QStringLiteral("tlbLocal"),
                                {"FRMLOCAL_BIG", "FRMLOCAL_SMALL", "FRMLOCAL_LIST", "FRMLOCAL_DETAIL"});
        m_view = new EntryListView(m_model, QStringLiteral("lsvDirFile"));
        connect(m_bar, &ViewModeBar::modeChosen, m_view, &EntryListView::setMode);
        auto* layout = new QVBoxLayout(m_window.get());
        layout->addWidget(m_bar);
        layout->addWidget(m_view);
        m_bar->retranslate();
        m_view->setAccessibleTexts(QStringLiteral("Liste - Details"), QStringLiteral("Liste - Symbole"),
                                   getText("DESC_LOCAL_LIST"));
        m_window->setWindowTitle(QStringLiteral("Liste"));
        m_window->resize(600, 400);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void fourViewsOverOneModelAndSelection()
    {
        QTreeView* details = m_view->detailView();
        QListView* icons = m_view->iconView();
        QCOMPARE(m_view->mode(), EntryListView::Mode::Details);
        // The rows keep the listing's order: a click on a header sorts nothing.
        QVERIFY(!details->header()->sectionsClickable());
        QCOMPARE(icons->selectionModel(), details->selectionModel());
        // Three of the buttons show the one icon view, arranged as the mode says.
        m_bar->action(EntryListView::Mode::LargeIcons)->trigger();
        QCOMPARE(m_view->currentWidget(), static_cast<QWidget*>(icons));
        QCOMPARE(icons->viewMode(), QListView::IconMode);
        m_bar->action(EntryListView::Mode::List)->trigger();
        QCOMPARE(icons->flow(), QListView::TopToBottom);
        // A mode chosen elsewhere (the main menu) checks its button.
        m_bar->showMode(EntryListView::Mode::Details);
        QVERIFY(m_bar->action(EntryListView::Mode::Details)->isChecked());
        QVERIFY(!m_bar->action(EntryListView::Mode::List)->isChecked());

        // What is selected in one view is selected in every view, each row once, in order.
        icons->selectionModel()->select(m_model->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        icons->selectionModel()->select(m_model->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m_view->setMode(EntryListView::Mode::Details);
        QCOMPARE(m_view->currentWidget(), static_cast<QWidget*>(details));
        QCOMPARE(m_view->selectedRows(), (QList<int>{0, 2}));
    }

    // The panes' tests press F5, Enter and Delete in their lists; here a window-wide shortcut on
    // the same key does not take it from the list, and where the context menu opens.
    void keysAndContextMenuAreTheLists()
    {
        QSignalSpy deleted(m_view, &EntryListView::deletePressed);
        QSignalSpy menu(m_view, &EntryListView::contextMenuRequested);
        auto* shortcut = new QAction(m_window.get());
        shortcut->setShortcut(Qt::Key_Delete);
        m_window->addAction(shortcut);
        QSignalSpy shortcutUsed(shortcut, &QAction::triggered);
        QTreeView* details = m_view->detailView();
        details->setFocus();
        QTest::keyClick(details, Qt::Key_Delete);
        QCOMPARE(QList<qsizetype>({deleted.size(), shortcutUsed.size()}), QList<qsizetype>({1, 0}));

        const QPoint where(20, 20);
        QContextMenuEvent event(QContextMenuEvent::Mouse, where, details->viewport()->mapToGlobal(where));
        QApplication::sendEvent(details->viewport(), &event);
        QCOMPARE(menu.size(), 1);
        QCOMPARE(menu.first().first().toPoint(), details->viewport()->mapToGlobal(where));
    }

    // A size of 3 GiB and a local time with seconds are shown whole, without resizing a column.
    void sizeAndTimeColumnsFitTheirTexts()
    {
        const QDateTime time(QDate(2005, 3, 5), QTime(14, 7, 9), QTimeZone::utc());
        m_model->setRows({{EntryKind::File, QStringLiteral("big.iso"), {}, {}, 0, qint64{3} << 30, time, {}, {}}}, {},
                         {ListSide::Local, AttributeOrder::Local, {}});
        const QAbstractItemView* view = m_view->detailView(); // asks what the cells of a column need
        for (const auto column : {EntryListModel::SizeColumn, EntryListModel::ChangedColumn})
            QVERIFY2(m_view->detailView()->columnWidth(column) >= view->sizeHintForColumn(column),
                     qPrintable(m_model->text(0, column)));
    }

    void accessibleToScreenReaders()
    {
        for (const auto mode : {EntryListView::Mode::LargeIcons, EntryListView::Mode::Details}) {
            m_view->setMode(mode);
            QCOMPARE(AccessibilityAudit::problems(m_window.get()), QStringList());
        }
        // The name of an entry is in the first column.
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(m_view->detailView());
        QVERIFY(list && list->tableInterface());
        QAccessibleInterface* cell = list->tableInterface()->cellAt(1, 0);
        QVERIFY(cell);
        QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("a.txt"));
    }

private:
    std::unique_ptr<QWidget> m_window;
    EntryListModel* m_model = nullptr;
    ViewModeBar* m_bar = nullptr;
    EntryListView* m_view = nullptr;
};

QTEST_MAIN(EntryListViewTest)
#include "tst_entrylistview.moc"
