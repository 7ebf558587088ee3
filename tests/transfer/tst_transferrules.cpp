#include "AsciiList.h"
#include "DownloadPaths.h"
#include "TestHelpers.h"
#include "TransferStatus.h"
#include "UploadType.h"

#include <QStandardPaths>

// The rules transfers follow without a server: the ASCII list file and the transfer type of an
// upload, the local names a download may write, and the status line of a running transfer.
class TransferRulesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The user's own ASCII list is never touched.
        QStandardPaths::setTestModeEnabled(true);
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

    // AUTO finds an entry anywhere in the remote name; the upload tests send the chosen types.
    void transferFlagOfAnUpload_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("remoteName");
        QTest::addColumn<bool>("ascii");
        const QStringList text = strings({"TXT"});
        QTest::newRow("not listed") << text << "readme.doc" << false;
        QTest::newRow("anywhere in the name") << text << "notes.txt.bak" << true;
        QTest::newRow("a longer extension") << text << "a.txtx" << true;
        QTest::newRow("without the dot") << text << "txt" << false;
        QTest::newRow("empty entry: any dot") << strings({""}) << "a.b" << true;
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
        QTest::newRow("two levels") << "/pub/docs/" << strings({"pub", "docs"});
        QTest::newRow("root") << "/" << QStringList();
        QTest::newRow("text after the last slash yields nothing") << "/pub/docs" << strings({"pub"});
        QTest::newRow("blanks kept") << "/ my docs /" << strings({" my docs "});
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
};

QTEST_GUILESS_MAIN(TransferRulesTest)
#include "tst_transferrules.moc"
