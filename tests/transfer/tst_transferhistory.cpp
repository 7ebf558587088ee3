#include "TextCatalogue.h"
#include "TransferHistory.h"
#include "TransferStatus.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <thread>

namespace {

// The colour of every line, read from the character formats of the document.
QList<QColor> lineColours(const TransferHistory& history)
{
    QList<QColor> colours;
    for (QTextBlock block = history.textEdit()->document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().isEmpty())
            continue;
        colours.append(block.begin().fragment().charFormat().foreground().color());
    }
    return colours;
}

} // namespace

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
        QTest::newRow("no rate yet") << MiB << 2 * MiB << -1.0 << QStringLiteral("a.iso: 1.0 MB of 2.0 MB - … - … left");
        QTest::newRow("size unknown") << 3 * MiB << qint64(0) << 1.5 * MiB << QStringLiteral("a.iso: 3.0 MB - 1.5 MB/s");
    }

    void transferStatusLine()
    {
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        QFETCH(double, rate);
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
        TextCatalogue::instance().setChosenTable(QStringLiteral("english"));
        QLocale::setDefault(QLocale::c());
        QTEST(TransferStatus::text(QStringLiteral("a.iso"), done, total, rate), "line");
    }

    void linesCarryTheirColours()
    {
        TransferHistory history;
        history.append(QStringLiteral("start"));
        history.append(QStringLiteral("ok"), HistoryColour::Green);
        history.append(QStringLiteral("next"));
        history.append(QStringLiteral("failed"), HistoryColour::Red);
        history.append(QStringLiteral("passive"), HistoryColour::Blue);
        QCOMPARE(history.plainText(), QStringLiteral("start\nok\nnext\nfailed\npassive\n"));
        const QList<QColor> expected = {QColor(0, 0, 0), QColor(0, 200, 0), QColor(0, 0, 0), QColor(200, 0, 0),
                                        QColor(0, 0, 200)};
        QCOMPARE(lineColours(history), expected);
    }

    void appendsAtTheEndWhereverTheCaretIs()
    {
        TransferHistory history;
        history.append(QStringLiteral("first"));
        history.append(QStringLiteral("second"));
        QTextCursor cursor = history.textEdit()->textCursor();
        cursor.setPosition(2);
        history.textEdit()->setTextCursor(cursor);
        history.append(QStringLiteral("third"), HistoryColour::Green);
        QCOMPARE(history.plainText(), QStringLiteral("first\nsecond\nthird\n"));
        QCOMPARE(lineColours(history).last(), QColor(0, 200, 0));
    }

    void markupShowsAsTyped()
    {
        TransferHistory history;
        history.append(QStringLiteral("<b>x</b> &amp; <img src=y>"), HistoryColour::Red);
        QCOMPARE(history.plainText(), QStringLiteral("<b>x</b> &amp; <img src=y>\n"));
    }

    void oneInsertionMayHoldTwoLines()
    {
        TransferHistory history;
        history.append(QStringLiteral("Willkommen\r\nHeute ist Montag"));
        QCOMPARE(history.plainText(), QStringLiteral("Willkommen\nHeute ist Montag\n"));
    }

    void clearThenGoOn()
    {
        TransferHistory history;
        history.append(QStringLiteral("old"), HistoryColour::Green);
        history.clear();
        QVERIFY(history.plainText().isEmpty());
        history.append(QStringLiteral("new"));
        QCOMPARE(history.plainText(), QStringLiteral("new\n"));
        QCOMPARE(lineColours(history), QList<QColor>{QColor(0, 0, 0)});
    }

    void copyAllOffersPlainAndRichText()
    {
        TransferHistory history;
        history.append(QStringLiteral("one"));
        history.append(QStringLiteral("two"), HistoryColour::Green);
        history.copyAll();
        const QMimeData* data = QApplication::clipboard()->mimeData();
        QVERIFY(data);
        QCOMPARE(data->text(), QStringLiteral("one\ntwo\n"));
        QVERIFY(data->hasHtml());
        QVERIFY(data->html().contains(QStringLiteral("two")));
    }

    void copyingAnEmptyLogEmptiesTheClipboard()
    {
        QApplication::clipboard()->setText(QStringLiteral("something"));
        TransferHistory history;
        history.copyAll();
        QVERIFY(QApplication::clipboard()->text().isEmpty());
    }

    void contextMenuEntries()
    {
        TransferHistory history;
        QMenu* menu = history.contextMenu();
        QCOMPARE(menu->defaultAction()->objectName(), QStringLiteral("mnuClipboard"));
        QAction* clear = menu->findChild<QAction*>(QStringLiteral("mnuLoeschen"));
        QVERIFY(clear);
        history.append(QStringLiteral("line"));
        clear->trigger();
        QVERIFY(history.plainText().isEmpty());
        QCOMPARE(history.textEdit()->font().family(), QStringLiteral("Arial"));
    }

    void linesFromAnotherThreadArriveInOrder()
    {
        TransferHistory history;
        std::thread worker([&history] {
            for (int i = 0; i < 100; ++i)
                QMetaObject::invokeMethod(&history, [&history, i] { history.append(QString::number(i)); },
                                          Qt::QueuedConnection);
        });
        worker.join();
        QTRY_COMPARE(history.plainText().count(QLatin1Char('\n')), 100);
        QStringList expected;
        for (int i = 0; i < 100; ++i)
            expected.append(QString::number(i));
        QCOMPARE(history.plainText(), expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
};

QTEST_MAIN(TransferHistoryTest)
#include "tst_transferhistory.moc"
