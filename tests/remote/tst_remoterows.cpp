#include "NameLists.h"
#include "EntryTypeResolver.h"
#include "CountingTypeProvider.h"
#include "RemoteIconStore.h"
#include "RemoteRows.h"

#include <QTest>

namespace {

const QString folderText = QStringLiteral("Dateiordner (Katalog)");

RemoteEntry file(const QString& name, qint64 size = 100, quint32 attributes = RemoteEntry::normalAttribute)
{
    RemoteEntry entry;
    entry.name = name;
    entry.size = size;
    entry.attributes = attributes;
    entry.lastWrite = QDateTime(QDate(2005, 3, 5), QTime(14, 7, 9), Qt::UTC);
    return entry;
}

RemoteEntry folder(const QString& name)
{
    RemoteEntry entry = file(name, 4096, RemoteEntry::directoryAttribute);
    entry.isDirectory = true;
    return entry;
}

QList<EntryRow> rowsFor(const QList<RemoteEntry>& entries, TypeInfoProvider& provider)
{
    EntryTypeResolver resolver(provider, FallbackRule::Remote);
    return RemoteRows::rowsOf(RemoteRows::buildListing(entries, resolver), folderText);
}

} // namespace

class RemoteRowsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowOrder_data()
    {
        QTest::addColumn<QList<RemoteEntry>>("entries");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("empty folder") << QList<RemoteEntry>{} << QStringList{QStringLiteral("..")};
        QTest::newRow("folders then files, server order")
            << QList<RemoteEntry>{folder(QStringLiteral("b")), folder(QStringLiteral("A")), file(QStringLiteral("z.txt")),
                                  file(QStringLiteral("a.txt"))}
            << QStringList{QStringLiteral(".."), QStringLiteral("b"), QStringLiteral("A"), QStringLiteral("z.txt"),
                           QStringLiteral("a.txt")};
        QTest::newRow("interleaved groups keep their own order")
            << QList<RemoteEntry>{file(QStringLiteral("z.txt")), folder(QStringLiteral("b")), file(QStringLiteral("a.txt")),
                                  folder(QStringLiteral("A"))}
            << QStringList{QStringLiteral(".."), QStringLiteral("b"), QStringLiteral("A"), QStringLiteral("z.txt"),
                           QStringLiteral("a.txt")};
        QTest::newRow("directory bit with read-only is a file")
            << QList<RemoteEntry>{file(QStringLiteral("ro"), 0, 17), folder(QStringLiteral("dir"))}
            << QStringList{QStringLiteral(".."), QStringLiteral("dir"), QStringLiteral("ro")};
        QTest::newRow("more folders than the original's table")
            << [] {
                   QList<RemoteEntry> many;
                   for (int i = 0; i < 10'005; ++i)
                       many.append(folder(QStringLiteral("d%1").arg(i)));
                   return many;
               }()
            << QStringList{};
    }

    void rowOrder()
    {
        QFETCH(QList<RemoteEntry>, entries);
        QFETCH(QStringList, expected);
        CountingTypeProvider provider({}, CountingTypeProvider::Pictures::Fresh);
        const QList<EntryRow> rows = rowsFor(entries, provider);
        if (expected.isEmpty()) {
            // Every folder is shown, also past 10,001.
            QCOMPARE(rows.size(), entries.size() + 1);
            QCOMPARE(rows.last().name, entries.last().name);
            return;
        }
        QCOMPARE(namesOf(rows), expected);
    }

    void rowTexts_data()
    {
        QTest::addColumn<RemoteEntry>("entry");
        QTest::addColumn<QString>("sizeText");
        QTest::addColumn<QString>("typeText");
        QTest::addColumn<QString>("attributeText");
        QTest::addColumn<QString>("iconKey");
        QTest::addColumn<bool>("isFolder");

        QTest::newRow("folder") << folder(QStringLiteral("docs")) << QString() << folderText << QStringLiteral("D")
                                << QStringLiteral("zdirectoryx") << true;
        QTest::newRow("0 bytes show 1 KB") << file(QStringLiteral("empty.txt"), 0) << QStringLiteral("1 KB")
                                           << QStringLiteral("Textdatei") << QStringLiteral("N")
                                           << QStringLiteral("ztxt") << false;
        QTest::newRow("5 GiB do not wrap") << file(QStringLiteral("big.iso"), 5LL * 1024 * 1024 * 1024)
                                           << QStringLiteral("5242880 KB") << QStringLiteral("ISO-Datei")
                                           << QStringLiteral("N") << QStringLiteral("ziso") << false;
        QTest::newRow("unknown type") << file(QStringLiteral("notes.qqq")) << QStringLiteral("1 KB")
                                      << QStringLiteral("QQQ-Datei") << QStringLiteral("N") << QStringLiteral("zqqq")
                                      << false;
        QTest::newRow("name without dot") << file(QStringLiteral("Makefile")) << QStringLiteral("1 KB")
                                          << QStringLiteral("MAKEFILE-Datei") << QStringLiteral("N")
                                          << QStringLiteral("zmakefile") << false;
        QTest::newRow("name ending in dot") << file(QStringLiteral("odd.")) << QStringLiteral("1 KB")
                                            << QStringLiteral("-Datei") << QStringLiteral("N") << QStringLiteral("z")
                                            << false;
        QTest::newRow("directory and read-only bits: a file row, remote letter order")
            << file(QStringLiteral("locked"), 2048, 17) << QStringLiteral("2 KB") << QStringLiteral("LOCKED-Datei")
            << QStringLiteral("RD") << QStringLiteral("zlocked") << false;
    }

    void rowTexts()
    {
        QFETCH(RemoteEntry, entry);
        CountingTypeProvider provider({{QStringLiteral("txt"), QStringLiteral("Textdatei")}}, CountingTypeProvider::Pictures::Fresh);
        const QList<EntryRow> rows = rowsFor({entry}, provider);
        QCOMPARE(rows.size(), 2);
        const EntryRow& row = rows[1];
        QCOMPARE(row.name, entry.name);
        QTEST(row.sizeText, "sizeText");
        QTEST(row.typeText, "typeText");
        QTEST(row.attributeText, "attributeText");
        QTEST(row.iconKey, "iconKey");
        QTEST(row.isFolder, "isFolder");
        QCOMPARE(row.dateText, QStringLiteral("05.03.2005 14:07"));
    }

    void parentRowIsAnEmptyFolderRow()
    {
        CountingTypeProvider provider({}, CountingTypeProvider::Pictures::Fresh);
        const EntryRow parent = rowsFor({}, provider).first();
        QCOMPARE(parent.name, QStringLiteral(".."));
        QCOMPARE(parent.iconKey, QStringLiteral("zdirectoryx"));
        QVERIFY(parent.isFolder);
        QVERIFY(parent.sizeText.isEmpty() && parent.typeText.isEmpty() && parent.dateText.isEmpty()
                && parent.attributeText.isEmpty());
    }

    void storedEntryKeepsSixTexts()
    {
        CountingTypeProvider provider({}, CountingTypeProvider::Pictures::Fresh);
        EntryTypeResolver resolver(provider, FallbackRule::Remote);
        const RemoteListing listing =
            RemoteRows::buildListing({folder(QStringLiteral("pub")), file(QStringLiteral("x.EXE"), 0)}, resolver);
        QCOMPARE(listing.size(), 2);
        // Folders are typed like files; the row ignores it.
        QCOMPARE(listing[0], (RemoteListingEntry{QStringLiteral("pub"), QStringLiteral("4 KB"), QStringLiteral("PUB-Datei"),
                                                 QStringLiteral("05.03.2005 14:07"), QStringLiteral("16"),
                                                 QStringLiteral("zpub")}));
        QCOMPARE(listing[1], (RemoteListingEntry{QStringLiteral("x.EXE"), QStringLiteral("1 KB"), QStringLiteral("Anwendung"),
                                                 QStringLiteral("05.03.2005 14:07"), QStringLiteral("128"),
                                                 QStringLiteral("zexe0")}));
        QVERIFY(RemoteRows::isFolder(listing[0]));
        QVERIFY(!RemoteRows::isFolder(listing[1]));
    }

    void iconStoreKeepsTheFirstPicture()
    {
        CountingTypeProvider provider({}, CountingTypeProvider::Pictures::Fresh);
        RemoteIconStore store;
        const QIcon first = provider.fileIcon(QStringLiteral("a.exe"));
        const QIcon second = provider.fileIcon(QStringLiteral("b.exe"));
        QVERIFY(first.cacheKey() != second.cacheKey());
        QVERIFY(store.insert(QStringLiteral("zexe0"), first));
        QVERIFY(!store.insert(QStringLiteral("zexe0"), second));
        store.insertNew({{QStringLiteral("zexe0"), second}, {QStringLiteral("zexe1"), second}});
        QCOMPARE(store.size(), 2);
        QCOMPARE(store.icon(QStringLiteral("zexe0")).cacheKey(), first.cacheKey());
        QCOMPARE(store.icon(QStringLiteral("zexe1")).cacheKey(), second.cacheKey());
    }
};

QTEST_MAIN(RemoteRowsTest)
#include "tst_remoterows.moc"
