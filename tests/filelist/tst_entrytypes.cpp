#include "CountingTypeProvider.h"
#include "EntryPresentation.h"
#include "EntryTypeResolver.h"
#include "MimeTypeInfoProvider.h"
#include "TypeNameCache.h"

#include <QTest>

class EntryTypesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cacheStartsWithFoldersKeepsEmptyNamesAndIgnoresCase()
    {
        TypeNameCache cache;
        QCOMPARE(cache.find(QStringLiteral("Folder")), std::optional<QString>(QStringLiteral("Dateiordner")));
        QCOMPARE(cache.find(QStringLiteral("FOLDER")), std::optional<QString>(QStringLiteral("Dateiordner")));
        QVERIFY(!cache.find(QStringLiteral("ztxt")));
        cache.insert(QStringLiteral("zqqq"), QString());
        cache.insert(QStringLiteral("ztxt"), QStringLiteral("Textdokument"));
        cache.insert(QStringLiteral("ZTXT"), QStringLiteral("anders"));
        QCOMPARE(cache.find(QStringLiteral("zqqq")), std::optional<QString>(QString()));
        QCOMPARE(cache.find(QStringLiteral("zTxT")), std::optional<QString>(QStringLiteral("Textdokument")));
        // Separators of the textual form are just characters of a key here.
        cache.insert(QStringLiteral("za|b=c"), QStringLiteral("odd"));
        QCOMPARE(cache.find(QStringLiteral("za|b=c")), std::optional<QString>(QStringLiteral("odd")));
        QVERIFY(!cache.find(QStringLiteral("za")));
    }

    void builtInTable_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::newRow("zico") << "zico" << "Symbol";
        QTest::newRow("zexe") << "zexe" << "Anwendung";
        QTest::newRow("zlnk") << "zlnk" << "Verknüpfung";
        QTest::newRow("zcur") << "zcur" << "Cursor";
        QTest::newRow("not built in") << "zdll" << "";
        QTest::newRow("Folder is no built-in type") << "Folder" << "";
    }

    void builtInTable()
    {
        QFETCH(QString, key);
        QFETCH(QString, name);
        QCOMPARE(TypeNameCache::builtInTypeName(key).value_or(QString()), name);
    }

    void sameKeyAsksOnce()
    {
        CountingTypeProvider provider({{QStringLiteral("doc"), QStringLiteral("Word-Dokument")}});
        EntryTypeResolver resolver(provider, FallbackRule::Local);
        const ResolvedType first = resolver.resolve(QStringLiteral("a.DOC"));
        const ResolvedType second = resolver.resolve(QStringLiteral("b.doc"));
        QCOMPARE(first.iconKey, QStringLiteral("zdoc"));
        QCOMPARE(second.iconKey, QStringLiteral("zdoc"));
        QCOMPARE(first.typeName, QStringLiteral("Word-Dokument"));
        QCOMPARE(second.typeName, QStringLiteral("Word-Dokument"));
        QCOMPARE(provider.typeNameQuestions, QStringList{QStringLiteral("a.DOC")});
        QCOMPARE(provider.iconQuestions, QStringList{QStringLiteral("a.DOC")});
        QCOMPARE(resolver.icons().keys(), QStringList{QStringLiteral("zdoc")});
    }

    void builtInTypesAreNumberedAndAskedPerFile()
    {
        CountingTypeProvider provider;
        EntryTypeResolver resolver(provider, FallbackRule::Local);
        const ResolvedType x = resolver.resolve(QStringLiteral("x.EXE"));
        const ResolvedType icon = resolver.resolve(QStringLiteral("logo.ico"));
        const ResolvedType y = resolver.resolve(QStringLiteral("y.exe"));
        QCOMPARE(x.iconKey, QStringLiteral("zexe0"));
        QCOMPARE(icon.iconKey, QStringLiteral("zico1"));
        QCOMPARE(y.iconKey, QStringLiteral("zexe2"));
        QCOMPARE(x.typeName, QStringLiteral("Anwendung"));
        QCOMPARE(y.typeName, QStringLiteral("Anwendung"));
        QCOMPARE(icon.typeName, QStringLiteral("Symbol"));
        QVERIFY(provider.typeNameQuestions.isEmpty());
        QCOMPARE(provider.iconQuestions.size(), 3);
        QCOMPARE(resolver.icons().size(), 3);

        // A new listing counts from 0 again.
        EntryTypeResolver next(provider, FallbackRule::Local);
        QCOMPARE(next.resolve(QStringLiteral("y.exe")).iconKey, QStringLiteral("zexe0"));
    }

    void fallbacksWhenNothingNamesTheType_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typeName");
        QTest::newRow("local Makefile") << int(FallbackRule::Local) << "Makefile" << "ILE-Datei";
        QTest::newRow("local html") << int(FallbackRule::Local) << "index.html" << "TML-Datei";
        QTest::newRow("remote html") << int(FallbackRule::Remote) << "index.html" << "HTML-Datei";
        QTest::newRow("remote qqq") << int(FallbackRule::Remote) << "notes.qqq" << "QQQ-Datei";
    }

    void fallbacksWhenNothingNamesTheType()
    {
        QFETCH(int, rule);
        QFETCH(QString, name);
        QFETCH(QString, typeName);
        CountingTypeProvider provider;
        EntryTypeResolver resolver(provider, static_cast<FallbackRule>(rule));
        QCOMPARE(resolver.resolve(name).typeName, typeName);
        // A second file of that key takes the same name from the cache.
        QCOMPARE(resolver.resolve(QStringLiteral("second.") + getExtension(name)).typeName, typeName);
        QCOMPARE(provider.typeNameQuestions.size(), 1);
    }

    void mimeDatabaseNamesByFileNameOnly()
    {
        MimeTypeInfoProvider provider;
        // The names need not exist: the remote pane asks about files it only knows by name.
        QVERIFY(!provider.typeName(QStringLiteral("/no/such/folder/report.txt")).isEmpty());
        QVERIFY(!provider.typeName(QStringLiteral("picture.png")).isEmpty());
        QCOMPARE(provider.typeName(QStringLiteral("data.qqqzz")), QString());
        QCOMPARE(provider.mimeTypeOf(QStringLiteral("data.qqqzz")).name(), QStringLiteral("application/octet-stream"));
        QVERIFY(!provider.fileIcon(QStringLiteral("data.qqqzz")).isNull());
        QVERIFY(!provider.fileIcon(QStringLiteral("report.txt")).isNull());
        QVERIFY(!provider.folderIcon().isNull());
    }

};

QTEST_MAIN(EntryTypesTest)
#include "tst_entrytypes.moc"
