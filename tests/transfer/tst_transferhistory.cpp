#include "TestHelpers.h"
#include "TransferHistory.h"
#include "TransferStatus.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextEdit>

namespace {

// The colour of every line, read from the character formats of the document.
QList<QColor> lineColours(const TransferHistory& history)
{
    QList<QColor> colours;
    for (QTextBlock block = history.textEdit()->document()->begin(); block.isValid(); block = block.next()) {
        if (!block.text().isEmpty())
            colours.append(block.begin().fragment().charFormat().foreground().color());
    }
    return colours;
}

} // namespace

// The transfer history and the status line of a running transfer.
class TransferHistoryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transferStatusLine_data()
    {
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("line");
        constexpr qint64 MiB = 1024 * 1024;
        QTest::newRow("size known") << 25 * MiB << 100 * MiB << 10.0 * MiB
                                    << QStringLiteral("a.iso: 25.0 MB of 100.0 MB - 10.0 MB/s - 0:08 left");
        QTest::newRow("hours left") << qint64(0) << 40'000 * MiB << 10.0 * MiB
                                    << QStringLiteral("a.iso: 0 bytes of 39.1 GB - 10.0 MB/s - 1:06:40 left");
        QTest::newRow("no rate yet") << MiB << 2 * MiB << -1.0
                                     << QStringLiteral("a.iso: 1.0 MB of 2.0 MB - … - … left");
        QTest::newRow("size unknown") << 3 * MiB << qint64(0) << 1.5 * MiB
                                      << QStringLiteral("a.iso: 3.0 MB - 1.5 MB/s");
    }

    void transferStatusLine()
    {
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        QFETCH(double, rate);
        useCatalogue("english");
        QLocale::setDefault(QLocale::c());
        QTEST(TransferStatus::text(QStringLiteral("a.iso"), done, total, rate), "line");
    }

    void linesKeepTheirTextAndColourAtTheEnd()
    {
        TransferHistory history;
        history.append(QStringLiteral("start"));
        history.append(QStringLiteral("ok"), HistoryColour::Green);
        // Wherever the caret stands, lines go at the end; markup shows as typed, and one
        // insertion may hold two lines.
        QTextCursor cursor = history.textEdit()->textCursor();
        cursor.setPosition(2);
        history.textEdit()->setTextCursor(cursor);
        history.append(QStringLiteral("<b>x</b> &amp;"), HistoryColour::Red);
        history.append(QStringLiteral("Willkommen\r\nHeute"), HistoryColour::Blue);
        QCOMPARE(history.plainText(), QStringLiteral("start\nok\n<b>x</b> &amp;\nWillkommen\nHeute\n"));
        const QList<QColor> colours{QColor(0, 0, 0), QColor(0, 200, 0), QColor(200, 0, 0), QColor(0, 0, 200),
                                    QColor(0, 0, 200)};
        QCOMPARE(lineColours(history), colours);

        // The context menu copies everything, as plain and as rich text, and clears.
        QMenu* menu = history.contextMenu();
        QCOMPARE(menu->defaultAction()->objectName(), QStringLiteral("mnuClipboard"));
        menu->defaultAction()->trigger();
        const QMimeData* data = QApplication::clipboard()->mimeData();
        QCOMPARE(data->text(), history.plainText());
        QVERIFY(data->hasHtml() && data->html().contains(QStringLiteral("Willkommen")));
        menu->findChild<QAction*>(QStringLiteral("mnuLoeschen"))->trigger();
        QVERIFY(history.plainText().isEmpty());
        history.append(QStringLiteral("new"));
        QCOMPARE(lineColours(history), QList<QColor>{QColor(0, 0, 0)});
        // Copying an empty history empties the clipboard.
        history.clear();
        history.copyAll();
        QVERIFY(QApplication::clipboard()->text().isEmpty());
    }
};

QTEST_MAIN(TransferHistoryTest)
#include "tst_transferhistory.moc"
