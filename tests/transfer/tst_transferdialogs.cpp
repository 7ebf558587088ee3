#include "AsciiList.h"
#include "AsciiListDialog.h"
#include "CountingTypeProvider.h"
#include "EntryPresentation.h"
#include "ScriptedPrompter.h"
#include "TestHelpers.h"
#include "UploadAsDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>

namespace {

QByteArray listFile()
{
    if (QFileInfo(AsciiList::userFile()).isDir())
        return "<folder>";
    return readFile(AsciiList::userFile());
}

void click(const QDialog& dialog, const char* button)
{
    auto* found = dialog.findChild<QPushButton*>(QLatin1String(button));
    QVERIFY2(found, button);
    found->click();
}

} // namespace

// The ASCII list dialog and the upload-as dialog; their questions are answered by a script.
class TransferDialogsTest : public QObject
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

    void addUpperCasesAndRefusesExactDuplicates_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("duplicate"); // the message that says so
        QTest::newRow("new, upper-cased") << QByteArray("TXT\r\n") << true << "css" << strings({"TXT", "CSS"}) << false;
        QTest::newRow("duplicate") << QByteArray("TXT\r\n") << true << "txt" << strings({"TXT"}) << true;
        QTest::newRow("lower-case entry is another")
            << QByteArray("txt\r\n") << true << "TXT" << strings({"txt", "TXT"}) << false;
        QTest::newRow("empty answer") << QByteArray("TXT\r\n") << true << "" << strings({"TXT"}) << false;
        QTest::newRow("cancelled") << QByteArray("TXT\r\n") << false << "css" << strings({"TXT"}) << false;
    }

    void addUpperCasesAndRefusesExactDuplicates()
    {
        QVERIFY(writeFile(AsciiList::userFile(), testData<QByteArray>("file")));
        AsciiListDialog dialog;
        m_prompter->inputAnswers.enqueue({testData<bool>("accepted"), testData<QString>("typed")});
        click(dialog, "cmdAdd");
        QCOMPARE(m_prompter->inputs.size(), 1);
        QCOMPARE(m_prompter->inputs[0].prompt, getText("FRMASCIILISTE_NEWEXT"));
        QTEST(dialog.entries(), "entries");
        QCOMPARE(m_prompter->messages.size(), testData<bool>("duplicate") ? 1 : 0);
        if (testData<bool>("duplicate"))
            QCOMPARE(m_prompter->messages[0].text, getText("FRMASCIILISTE_ENTRYDA"));
    }

    void removeAsksFirst()
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
        QCOMPARE(m_prompter->messages[0].text, getText("FRMASCIILISTE_ENTRYDEL1") + QStringLiteral(" HTM ")
                                                   + getText("FRMASCIILISTE_ENTRYDEL2"));
        QCOMPARE(m_prompter->messages[0].icon, PromptIcon::None);
        QCOMPARE(m_prompter->messages[0].buttons, PromptButtons::YesNo);
    }

    void acceptSavesAndCancelKeepsTheFile_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<QByteArray>("fileAfterwards");
        QTest::newRow("accept") << QByteArray("cmdUebernehmen") << false << QByteArray("TXT\r\nCSS\r\n");
        QTest::newRow("cancel") << QByteArray("cmdAbbrechen") << false << QByteArray("TXT\r\n");
        QTest::newRow("failed save: said, stays open")
            << QByteArray("cmdUebernehmen") << true << QByteArray("<folder>");
    }

    void acceptSavesAndCancelKeepsTheFile()
    {
        QFETCH(QByteArray, button);
        QFETCH(bool, saveFails);
        QFETCH(QByteArray, fileAfterwards);
        // A folder where the list belongs: nothing can replace it.
        if (saveFails)
            QVERIFY(QDir().mkpath(AsciiList::userFile()));
        else
            QVERIFY(writeFile(AsciiList::userFile(), "TXT\r\n"));
        AsciiListDialog dialog;
        dialog.show();
        m_prompter->inputAnswers.enqueue({true, QStringLiteral("css")});
        click(dialog, "cmdAdd");
        click(dialog, button.constData());

        QCOMPARE(listFile(), fileAfterwards);
        QCOMPARE(dialog.isVisible(), saveFails);
        QCOMPARE(m_prompter->messages.size(), saveFails ? 1 : 0);
        if (saveFails) {
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

private:
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

QTEST_MAIN(TransferDialogsTest)
#include "tst_transferdialogs.moc"
