#include "TransferHistory.h"

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
