#include "DownloadPaths.h"

#include <QTest>

using namespace DownloadPaths;

namespace {

QStringList names(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* name : list)
        result.append(QString::fromUtf8(name));
    return result;
}

} // namespace

class DownloadPathsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitFolderNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("two levels") << "/pub/docs/" << names({"pub", "docs"});
        QTest::newRow("root") << "/" << QStringList();
        QTest::newRow("text after the last slash yields nothing") << "/pub/docs" << names({"pub"});
        QTest::newRow("blanks kept") << "/ my docs /" << names({" my docs "});
        QTest::newRow("empty name kept for refusal") << "/pub//x/" << names({"pub", "", "x"});
        QTest::newRow("dot-dot kept for refusal") << "/pub/../x/" << names({"pub", "..", "x"});
        QTest::newRow("not absolute") << "pub/docs/" << QStringList();
        QTest::newRow("backslash is a letter") << "/a\\b/" << names({"a\\b"});
    }

    void splitFolderNames()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, names);
        QCOMPARE(DownloadPaths::splitFolderNames(path), names);
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
