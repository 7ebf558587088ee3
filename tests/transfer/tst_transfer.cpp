#include "AsciiList.h"
#include "AsciiListDialog.h"
#include "CountingTypeProvider.h"
#include "DownloadPaths.h"
#include "EntryPresentation.h"
#include "ResumeRule.h"
#include "ScriptedPrompter.h"
#include "TestHelpers.h"
#include "TransferHistory.h"
#include "TransferStatus.h"
#include "UploadAsDialog.h"
#include "UploadType.h"

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

// The transfers' parts that need no server: the ASCII list file and its dialog, the transfer type
// of an upload, the local names a download may write, the upload-as dialog, the status line and
// the history. Questions are answered by a script; the user's own ASCII list is never touched.
class TransferTest : public QObject
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

    void asciiListFileIsReadAsDelimitedItems_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("CR LF lines") << QByteArray("TXT\r\nHTM\r\n") << strings({"TXT", "HTM"});
        QTest::newRow("LF and lone CR") << QByteArray("a\nb\rc") << strings({"a", "b", "c"});
        QTest::newRow("empty entries left out")
            << QByteArray("TXT\r\n\r\n  \r\n\"\"\r\nCSS\r\n") << strings({"TXT", "CSS"});
        QTest::newRow("leading blanks skipped, trailing kept") << QByteArray("  \tTXT \r\n") << strings({"TXT "});
        QTest::newRow("comma ends an entry") << QByteArray("TXT,HTM\r\nCSS,,\r\n") << strings({"TXT", "HTM", "CSS"});
        QTest::newRow("quotes removed, comma inside kept")
            << QByteArray("\"A,B\", \" C\"\r\n") << strings({"A,B", " C"});
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("UTF-8") << QByteArray("TXT\r\n\xc3\x84\r\n") << strings({"TXT", "\xc3\x84"});
    }

    void asciiListFileIsReadAsDelimitedItems()
    {
        QFETCH(QByteArray, content);
        QTEST(AsciiList::parse(content), "entries");
    }

    void asciiListOfTheUserComesFirst()
    {
        const QString own = AsciiList::userFile();
        // Without a list of the user's: the shipped one, or none when there is none either.
        const QByteArray shipped = readFile(AsciiList::shippedFile());
        QCOMPARE(AsciiList::load(), shipped == "<missing>" ? QStringList() : AsciiList::parse(shipped));

        QVERIFY(AsciiList::save(strings({"TXT", "a b", ""})));
        QCOMPARE(readFile(own), QByteArray("TXT\r\na b\r\n\r\n"));
        QCOMPARE(AsciiList::load(), strings({"TXT", "a b"}));
    }

    // AUTO judges the last extension of the remote name; the upload tests send the chosen types.
    void transferFlagOfAnUpload_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("remoteName");
        QTest::addColumn<bool>("ascii");
        const QStringList text = strings({"TXT"});
        QTest::newRow("last extension, any case") << text << "dir.d/READ.ME.Txt" << true;
        QTest::newRow("not the last extension") << strings({"LOG"}) << "access.log.1.gz" << false;
        QTest::newRow("a longer extension") << text << "a.txtx" << false;
        QTest::newRow("without the dot") << text << "txt" << false;
        QTest::newRow("in a folder's name") << text << "a.txt/b" << false;
        QTest::newRow("empty entry: nothing") << strings({""}) << "a." << false;
        QTest::newRow("no list") << QStringList{} << "readme.txt" << false;
    }

    void transferFlagOfAnUpload()
    {
        const UploadType upload{TransferType::Auto, TransferFlag::Binary, testData<QStringList>("entries")};
        const TransferFlag flag = upload.flagFor(testData<QString>("remoteName"));
        QCOMPARE(flag, testData<bool>("ascii") ? TransferFlag::Ascii : TransferFlag::Binary);
    }

    void splitFolderNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("root") << "/" << QStringList();
        QTest::newRow("text after the last slash yields nothing") << "/pub/docs" << strings({"pub"});
        QTest::newRow("empty name kept for refusal") << "/pub//x/" << strings({"pub", "", "x"});
        QTest::newRow("dot-dot kept for refusal") << "/pub/../x/" << strings({"pub", "..", "x"});
        QTest::newRow("not absolute") << "pub/docs/" << QStringList();
        QTest::newRow("backslash is a letter") << "/a\\b/" << strings({"a\\b"});
    }

    void splitFolderNames()
    {
        QFETCH(QString, path);
        QTEST(DownloadPaths::splitFolderNames(path), "names");
    }

    // The download tests walk the names a server sends ("../evil", "a/b", ".", CR, tab, bytes
    // that are not UTF-8); these are the rest.
    void usableLocalNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("dots inside") << "..hidden..txt" << true;
        QTest::newRow("three dots") << "..." << true;
        QTest::newRow("backslash") << "a\\b" << true;
        QTest::newRow("beyond the BMP") << "note \U0001F600.txt" << true;
        QTest::newRow("dot-dot") << ".." << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("NUL inside") << QString(QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b")) << false;
        QTest::newRow("line feed") << "a\nb" << false;
    }

    void usableLocalNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(DownloadPaths::isUsableLocalName(name), usable);
        QCOMPARE(DownloadPaths::areUsableLocalNames({QStringLiteral("pub"), name}), usable);
    }

    // Where the next try starts; the job tests cut, change and refuse on real servers.
    void resumeRule_data()
    {
        QTest::addColumn<bool>("download");
        QTest::addColumn<qint64>("have"); // the partial's bytes; the server's for an upload (-1: it cannot tell)
        QTest::addColumn<int>("recorded"); // seconds of the time recorded at start (-1: none)
        QTest::addColumn<int>("now");      // of the time now, for the same size of 100 (-1: not told)
        QTest::addColumn<bool>("text");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<ResumeRule::StartOver>("why");
        using enum ResumeRule::StartOver;
        QTest::newRow("download, same file") << true << 40LL << 7 << 7 << false << 40LL << No;
        QTest::newRow("download, nothing yet") << true << 0LL << -1 << 7 << false << 0LL << No;
        QTest::newRow("download, other time") << true << 40LL << 7 << 8 << false << 0LL << Changed;
        QTest::newRow("download, longer than the file") << true << 101LL << 7 << 7 << false << 0LL << Changed;
        QTest::newRow("download, nothing recorded") << true << 40LL << -1 << 7 << false << 0LL << Unknown;
        QTest::newRow("download, time not told") << true << 40LL << 7 << -1 << false << 0LL << Unknown;
        QTest::newRow("upload, same file") << false << 40LL << 7 << 7 << false << 40LL << No;
        QTest::newRow("upload, text") << false << 40LL << 7 << 7 << true << 0LL << Text;
        QTest::newRow("upload, local file changed") << false << 40LL << 7 << 8 << false << 0LL << Changed;
        QTest::newRow("upload, size not told") << false << -1LL << 7 << 7 << false << 0LL << Unknown;
    }

    void resumeRule()
    {
        QFETCH(qint64, have);
        const auto facts = [](int seconds) {
            return seconds < 0 ? RemoteFileFacts{100, {}} : RemoteFileFacts{100, QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC)};
        };
        const int recorded = testData<int>("recorded");
        const RemoteFileFacts now = facts(testData<int>("now"));
        const ResumeRule::Decision decision = testData<bool>("download")
            ? ResumeRule::forDownload(have, recorded < 0 ? std::nullopt : std::optional(facts(recorded)), now)
            : ResumeRule::forUpload(testData<bool>("text"), facts(recorded), now,
                                    have < 0 ? std::nullopt : std::optional(have));
        QCOMPARE(decision, (ResumeRule::Decision{testData<qint64>("offset"), testData<ResumeRule::StartOver>("why")}));
    }

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
        useCatalogue("deutsch");
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

    // A new entry shows upper-cased; an exact duplicate is refused with a message. Only the
    // accept button writes the file.
    void asciiListAddThenAcceptOrCancel_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: a folder where the list belongs, so nothing can replace it
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("fileAfterwards");
        QTest::addColumn<int>("messages");
        const QByteArray txt("TXT\r\n");
        const QByteArray accept("cmdUebernehmen");
        QTest::newRow("accept") << txt << true << "css" << accept << strings({"TXT", "CSS"})
                                << QByteArray("TXT\r\nCSS\r\n") << 0;
        QTest::newRow("cancel") << txt << true << "css" << QByteArray("cmdAbbrechen") << strings({"TXT", "CSS"}) << txt
                                << 0;
        QTest::newRow("duplicate") << txt << true << "txt" << accept << strings({"TXT"}) << txt << 1;
        QTest::newRow("lower-case entry is another") << QByteArray("txt\r\n") << true << "TXT" << accept
                                                     << strings({"txt", "TXT"}) << QByteArray("txt\r\nTXT\r\n") << 0;
        QTest::newRow("empty answer, a blank line read") << QByteArray("TXT\r\n\r\n") << true << "" << accept
                                                         << strings({"TXT"}) << txt << 0;
        QTest::newRow("blanks only") << txt << true << "  " << accept << strings({"TXT"}) << txt << 0;
        QTest::newRow("input cancelled") << txt << false << "css" << accept << strings({"TXT"}) << txt << 0;
        QTest::newRow("failed save: said, stays open") << QByteArray() << true << "css" << accept << QStringList()
                                                       << QByteArray("<missing>") << 1;
    }

    void asciiListAddThenAcceptOrCancel()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, button);
        const bool saveFails = file.isEmpty();
        QVERIFY(saveFails ? QDir().mkpath(AsciiList::userFile()) : writeFile(AsciiList::userFile(), file));
        AsciiListDialog dialog;
        dialog.show();
        m_prompter->inputAnswers.enqueue({testData<bool>("accepted"), testData<QString>("typed")});
        click(dialog, "cmdAdd");
        QCOMPARE(m_prompter->inputs.size(), 1);
        if (!saveFails)
            QTEST(dialog.entries(), "entries");
        click(dialog, button.constData());

        QTEST(readFile(AsciiList::userFile()), "fileAfterwards");
        QTEST(int(m_prompter->messages.size()), "messages");
        QCOMPARE(dialog.isVisible(), saveFails);
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
        // Lines written together still reach the window by themselves, without a reader.
        const auto* shown = history.findChild<QTextEdit*>();
        QTRY_COMPARE(shown->document()->toPlainText(), QStringLiteral("new\n"));
        QCOMPARE(lineColours(history), QList<QColor>{QColor(0, 0, 0)});
        // Copying an empty history empties the clipboard.
        history.clear();
        history.copyAll();
        QVERIFY(QApplication::clipboard()->text().isEmpty());
    }

private:
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

QTEST_MAIN(TransferTest)
#include "tst_transfer.moc"
