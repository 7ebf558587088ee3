#include "AsciiList.h"
#include "AsciiListDialog.h"
#include "CountingTypeProvider.h"
#include "EntryPresentation.h"
#include "ScriptedPrompter.h"
#include "TestHelpers.h"
#include "TransferHistory.h"
#include "UploadAsDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextEdit>

namespace {

void click(const QDialog& dialog, const char* button)
{
    auto* found = dialog.findChild<QPushButton*>(QLatin1String(button));
    QVERIFY2(found, button);
    found->click();
}

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

// The ASCII list dialog, the upload-as dialog and the transfer history; questions are answered
// by a script.
class TransferWidgetsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        useCatalogue("deutsch");
    }

    void init()
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        QFile::remove(AsciiList::userFile());
        QDir(AsciiList::userFile()).removeRecursively();
    }

    void cleanup() { m_prompter.reset(); }

    // The accepted list below shows a new entry upper-cased.
    void asciiListAddRefusesExactDuplicates_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("messages"); // the one that says the entry is there
        QTest::newRow("duplicate") << QByteArray("TXT\r\n") << true << "txt" << strings({"TXT"}) << 1;
        QTest::newRow("lower-case entry is another")
            << QByteArray("txt\r\n") << true << "TXT" << strings({"txt", "TXT"}) << 0;
        QTest::newRow("empty answer") << QByteArray("TXT\r\n") << true << "" << strings({"TXT"}) << 0;
        QTest::newRow("cancelled") << QByteArray("TXT\r\n") << false << "css" << strings({"TXT"}) << 0;
    }

    void asciiListAddRefusesExactDuplicates()
    {
        QVERIFY(writeFile(AsciiList::userFile(), testData<QByteArray>("file")));
        AsciiListDialog dialog;
        m_prompter->inputAnswers.enqueue({testData<bool>("accepted"), testData<QString>("typed")});
        click(dialog, "cmdAdd");
        QCOMPARE(m_prompter->inputs.size(), 1);
        QTEST(dialog.entries(), "entries");
        QTEST(int(m_prompter->messages.size()), "messages");
    }

    void asciiListRemoveAsksFirst()
    {
        QVERIFY(writeFile(AsciiList::userFile(), "TXT\r\nHTM\r\nCSS\r\n"));
        AsciiListDialog dialog;
        // Nothing selected: nothing asked.
        click(dialog, "cmdRemove");
        QVERIFY(m_prompter->messages.isEmpty());

        dialog.list()->setCurrentRow(1);
        m_prompter->messageAnswers.enqueue(PromptAnswer::No);
        m_prompter->messageAnswers.enqueue(PromptAnswer::Yes);
        click(dialog, "cmdRemove");
        QCOMPARE(dialog.entries(), strings({"TXT", "HTM", "CSS"}));
        click(dialog, "cmdRemove");
        QCOMPARE(dialog.entries(), strings({"TXT", "CSS"}));
        QCOMPARE(m_prompter->messages.size(), 2);
        QVERIFY(m_prompter->messages[0].text.contains(QStringLiteral(" HTM ")));
        QCOMPARE(m_prompter->messages[0].buttons, PromptButtons::YesNo);
    }

    void asciiListAcceptSavesAndCancelKeepsTheFile_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<QByteArray>("fileAfterwards");
        QTest::newRow("accept") << QByteArray("cmdUebernehmen") << false << QByteArray("TXT\r\nCSS\r\n");
        QTest::newRow("cancel") << QByteArray("cmdAbbrechen") << false << QByteArray("TXT\r\n");
        // A folder where the list belongs: nothing can replace it.
        QTest::newRow("failed save: said, stays open")
            << QByteArray("cmdUebernehmen") << true << QByteArray("<missing>");
    }

    void asciiListAcceptSavesAndCancelKeepsTheFile()
    {
        QFETCH(QByteArray, button);
        QFETCH(bool, saveFails);
        QVERIFY(saveFails ? QDir().mkpath(AsciiList::userFile()) : writeFile(AsciiList::userFile(), "TXT\r\n"));
        AsciiListDialog dialog;
        dialog.show();
        m_prompter->inputAnswers.enqueue({true, QStringLiteral("css")});
        click(dialog, "cmdAdd");
        click(dialog, button.constData());

        QTEST(readFile(AsciiList::userFile()), "fileAfterwards");
        QCOMPARE(dialog.isVisible(), saveFails);
        QCOMPARE(m_prompter->messages.size(), saveFails ? 1 : 0);
        if (saveFails) {
            QVERIFY(QFileInfo(AsciiList::userFile()).isDir());
            QVERIFY(m_prompter->messages[0].text.startsWith(getText("FRMASCIILISTE_SAVEFAILED") + QLatin1Char('\n')));
            QVERIFY(m_prompter->messages[0].text.contains(AsciiList::userFile()));
            QVERIFY(dialog.entries().contains(QStringLiteral("CSS")));
        } else {
            QCOMPARE(dialog.result(), int(button == "cmdUebernehmen" ? QDialog::Accepted : QDialog::Rejected));
        }
    }

    void uploadAsShowsTheFileByItsName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typeName");
        QTest::newRow("named type") << "notes.txt" << "Textdokument";
        QTest::newRow("unknown type: the fallback") << "data.xyzw" << "YZW-Datei";
    }

    void uploadAsShowsTheFileByItsName()
    {
        QFETCH(QString, name);
        CountingTypeProvider types({{QStringLiteral("txt"), QStringLiteral("Textdokument")}});
        FileEntry entry;
        entry.name = name;
        entry.size = 1500;
        UploadAsDialog dialog(entry, &types);
        QTEST(dialog.findChild<QLabel*>(QStringLiteral("lblFileType"))->text(), "typeName");
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblGroesse"))->text(), localSizeText(1500));
        QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("imgSystemLogo"))->pixmap().isNull());
        QCOMPARE(types.typeNameQuestions, QStringList{name});
        // The proposed name is selected, so typing replaces it.
        QCOMPARE(dialog.newNameEdit()->selectedText(), name);
    }

    void historyLinesKeepTheirTextAndColourAtTheEnd()
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

private:
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

QTEST_MAIN(TransferWidgetsTest)
#include "tst_transferwidgets.moc"
