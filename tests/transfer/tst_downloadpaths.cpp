#include "DownloadPaths.h"
#include "TestHelpers.h"

using namespace DownloadPaths;

class DownloadPathsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

    void usableLocalNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("plain") << "report.txt" << true;
        QTest::newRow("blanks around") << " report.txt " << true;
        QTest::newRow("dots inside") << "..hidden..txt" << true;
        QTest::newRow("three dots") << "..." << true;
        QTest::newRow("backslash") << "a\\b" << true;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot-dot") << ".." << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("climbs out") << "../evil" << false;
        QTest::newRow("slash inside") << "a/b" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("NUL inside") << QString(QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b")) << false;
        QTest::newRow("line feed") << "a\nb" << false;
        QTest::newRow("carriage return at the end") << "a\r" << false;
        QTest::newRow("tab") << "a\tb" << false;
        QTest::newRow("beyond the BMP") << "note \U0001F600.txt" << true;
        QTest::newRow("byte that is not UTF-8") << QString(QStringLiteral("caf") + QChar(0xDCE9)) << false;
    }

    void usableLocalNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(isUsableLocalName(name), usable);
        QCOMPARE(areUsableLocalNames({QStringLiteral("pub"), name}), usable);
    }
};

QTEST_GUILESS_MAIN(DownloadPathsTest)
#include "tst_downloadpaths.moc"
