#include "DownloadPaths.h"
#include "ReplaceAll.h"

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
    void replaceAllSeparators_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("expected");
        QTest::newRow("local to server") << QStringLiteral("\\pub\\docs\\") << QStringLiteral("\\") << QStringLiteral("/") << QStringLiteral("/pub/docs/");
        QTest::newRow("server to local") << QStringLiteral("/pub/docs/") << QStringLiteral("/") << QStringLiteral("\\") << QStringLiteral("\\pub\\docs\\");
        QTest::newRow("nothing to replace") << QStringLiteral("readme.txt") << QStringLiteral("/") << QStringLiteral("\\") << QStringLiteral("readme.txt");
        QTest::newRow("empty text") << QStringLiteral("") << QStringLiteral("/") << QStringLiteral("\\") << QStringLiteral("");
        QTest::newRow("blanks before a separator stay") << QStringLiteral("/my docs  /x") << QStringLiteral("/") << QStringLiteral("\\") << QStringLiteral("\\my docs  \\x");
        QTest::newRow("adjacent separators") << QStringLiteral("a//b") << QStringLiteral("/") << QStringLiteral("\\") << QStringLiteral("a\\\\b");
        QTest::newRow("letters found without regard to case") << QStringLiteral("xAxa") << QStringLiteral("a") << QStringLiteral("-") << QStringLiteral("x-x-");
        QTest::newRow("replacement holding find does not loop") << QStringLiteral("a/b") << QStringLiteral("/") << QStringLiteral("//") << QStringLiteral("a//b");
        QTest::newRow("empty find changes nothing") << QStringLiteral("a/b") << QStringLiteral("") << QStringLiteral("x") << QStringLiteral("a/b");
    }

    void replaceAllSeparators()
    {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(QString, replacement);
        QFETCH(QString, expected);
        QCOMPARE(replaceAll(text, find, replacement), expected);
        QCOMPARE(text, expected); // the caller's text changes too
    }

    void splitFolderNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("two levels") << QStringLiteral("/pub/docs/") << names({"pub", "docs"});
        QTest::newRow("root") << QStringLiteral("/") << QStringList();
        QTest::newRow("text after the last slash yields nothing") << QStringLiteral("/pub/docs") << names({"pub"});
        QTest::newRow("blanks kept") << QStringLiteral("/ my docs /") << names({" my docs "});
        QTest::newRow("empty name kept for refusal") << QStringLiteral("/pub//x/") << names({"pub", "", "x"});
        QTest::newRow("dot-dot kept for refusal") << QStringLiteral("/pub/../x/") << names({"pub", "..", "x"});
        QTest::newRow("not absolute") << QStringLiteral("pub/docs/") << QStringList();
        QTest::newRow("backslash is a letter") << QStringLiteral("/a\\b/") << names({"a\\b"});
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
        QTest::newRow("plain") << QStringLiteral("report.txt") << true;
        QTest::newRow("blanks around") << QStringLiteral(" report.txt ") << true;
        QTest::newRow("dots inside") << QStringLiteral("..hidden..txt") << true;
        QTest::newRow("three dots") << QStringLiteral("...") << true;
        QTest::newRow("backslash") << QStringLiteral("a\\b") << true;
        QTest::newRow("dot") << QStringLiteral(".") << false;
        QTest::newRow("dot-dot") << QStringLiteral("..") << false;
        QTest::newRow("empty") << QStringLiteral("") << false;
        QTest::newRow("climbs out") << QStringLiteral("../evil") << false;
        QTest::newRow("slash inside") << QStringLiteral("a/b") << false;
        QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << false;
        QTest::newRow("NUL inside") << QString(QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b")) << false;
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
