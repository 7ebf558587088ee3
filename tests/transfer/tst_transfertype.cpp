#include "AsciiList.h"
#include "TestHelpers.h"
#include "TransferTypeSelector.h"
#include "UploadType.h"

#include <QAction>
#include <QComboBox>
#include <QStandardPaths>

class TransferTypeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The user's own ASCII list is never touched.
        QStandardPaths::setTestModeEnabled(true);
    }

    void init()
    {
        m_combo = std::make_unique<QComboBox>();
        m_ascii = std::make_unique<QAction>();
        m_binary = std::make_unique<QAction>();
        m_auto = std::make_unique<QAction>();
        m_auto->setCheckable(true);
        m_auto->setChecked(true);
        m_selector = std::make_unique<TransferTypeSelector>(m_combo.get(), m_ascii.get(), m_binary.get(), m_auto.get());
        m_combo->addItems({QStringLiteral("ASCII"), QStringLiteral("BINARY"), QStringLiteral("AUTO")});
        m_combo->setCurrentIndex(2);
    }

    QList<bool> checks() const { return {m_ascii->isChecked(), m_binary->isChecked(), m_auto->isChecked()}; }

    void startUpOnlySetsBinary()
    {
        m_combo->setCurrentIndex(0);
        QCOMPARE(m_selector->transferFlag(), TransferFlag::Binary);
        QCOMPARE(checks(), (QList<bool>{false, false, true}));
    }

    void menuItemsAndComboStayInStep_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("flag");
        QTest::newRow("ascii") << 0 << 1;
        QTest::newRow("binary") << 1 << 2;
        QTest::newRow("auto") << 2 << 2;
    }

    void menuItemsAndComboStayInStep()
    {
        QFETCH(int, type);
        QFETCH(int, flag);
        m_selector->setStartingUp(false);
        QList<bool> expected = {false, false, false};
        expected[type] = true;
        // A menu item chooses in the box, and the box in the menu.
        QAction* items[] = {m_ascii.get(), m_binary.get(), m_auto.get()};
        items[type]->trigger();
        QCOMPARE(m_combo->currentIndex(), type);
        QCOMPARE(static_cast<int>(m_selector->transferFlag()), flag);
        QCOMPARE(checks(), expected);
        m_combo->setCurrentIndex((type + 1) % 3);
        m_combo->setCurrentIndex(type);
        QCOMPARE(static_cast<int>(m_selector->transferFlag()), flag);
        QCOMPARE(checks(), expected);
    }

    void asciiListFileIsReadAsDelimitedItems_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("CR LF lines") << QByteArray("TXT\r\nHTM\r\n") << strings({"TXT", "HTM"});
        QTest::newRow("LF and lone CR") << QByteArray("a\nb\rc") << strings({"a", "b", "c"});
        QTest::newRow("empty line in the middle") << QByteArray("TXT\r\n\r\nCSS\r\n") << strings({"TXT", "", "CSS"});
        QTest::newRow("leading blanks skipped, trailing kept") << QByteArray("  \tTXT \r\n") << strings({"TXT "});
        QTest::newRow("comma ends an entry") << QByteArray("TXT,HTM\r\nCSS,\r\n") << strings({"TXT", "HTM", "CSS", ""});
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

    void transferFlagOfAnUpload_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("remoteName");
        QTest::addColumn<int>("flag");
        const QStringList text = strings({"TXT"});
        const int ascii = 1;
        const int binary = 2;
        QTest::newRow("AUTO, listed") << 2 << text << "readme.TXT" << ascii;
        QTest::newRow("AUTO, not listed") << 2 << text << "readme.doc" << binary;
        QTest::newRow("AUTO, anywhere in the name") << 2 << text << "notes.txt.bak" << ascii;
        QTest::newRow("AUTO, a longer extension") << 2 << text << "a.txtx" << ascii;
        QTest::newRow("AUTO, without the dot") << 2 << text << "txt" << binary;
        QTest::newRow("AUTO, empty entry: any dot") << 2 << strings({""}) << "a.b" << ascii;
        QTest::newRow("AUTO, no list") << 2 << QStringList{} << "readme.txt" << binary;
        QTest::newRow("ASCII sends everything as ASCII") << 0 << text << "photo.jpg" << ascii;
        QTest::newRow("BINARY sends everything binary") << 1 << text << "readme.txt" << binary;
    }

    void transferFlagOfAnUpload()
    {
        const auto chosen = static_cast<TransferType>(testData<int>("type"));
        const UploadType upload{chosen, chosen == TransferType::Ascii ? TransferFlag::Ascii : TransferFlag::Binary,
                                testData<QStringList>("entries")};
        QTEST(static_cast<int>(upload.flagFor(testData<QString>("remoteName"))), "flag");
    }

    void asciiListOfTheUserComesFirst()
    {
        const QString own = AsciiList::userFile();
        QFile::remove(own);
        // Without a list of the user's: the shipped one, or none when there is none either.
        const QByteArray shipped = readFile(AsciiList::shippedFile());
        QCOMPARE(AsciiList::load(), shipped == "<missing>" ? QStringList() : AsciiList::parse(shipped));

        QVERIFY(AsciiList::save(strings({"TXT", "a b", ""})));
        QCOMPARE(readFile(own), QByteArray("TXT\r\na b\r\n\r\n"));
        QCOMPARE(AsciiList::load(), strings({"TXT", "a b", ""}));
        QVERIFY(QFile::remove(own));
    }

private:
    std::unique_ptr<QComboBox> m_combo;
    std::unique_ptr<QAction> m_ascii, m_binary, m_auto;
    std::unique_ptr<TransferTypeSelector> m_selector;
};

QTEST_MAIN(TransferTypeTest)
#include "tst_transfertype.moc"
