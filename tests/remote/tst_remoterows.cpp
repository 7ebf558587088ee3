#include "CountingTypeProvider.h"
#include "EntryPresentation.h"
#include "EntryTypeResolver.h"
#include "NameLists.h"
#include "RemoteIconStore.h"
#include "RemoteRows.h"

#include <QTest>

namespace {

RemoteEntry file(const QString& name, qint64 size = 100, quint32 attributes = FileAttribute::normal)
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
    RemoteEntry entry = file(name, 0, FileAttribute::directory);
    entry.isDirectory = true;
    return entry;
}

RemoteEntry link(const QString& name, const QString& target, bool toFolder)
{
    RemoteEntry entry = toFolder ? folder(name) : file(name);
    entry.isLink = true;
    entry.linkTarget = target;
    entry.permissions = QStringLiteral("lrwxrwxrwx");
    return entry;
}

QList<FileEntry> rowsFor(const QList<RemoteEntry>& entries)
{
    CountingTypeProvider provider({{QStringLiteral("txt"), QStringLiteral("Textdatei")}}, CountingTypeProvider::Pictures::Fresh);
    EntryTypeResolver resolver(provider, FallbackRule::Remote);
    return RemoteRows::rowsOf(RemoteRows::buildListing(entries, resolver));
}

} // namespace

// The rules that turn a server listing into the rows of the remote list.
class RemoteRowsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowOrder_data()
    {
        QTest::addColumn<QList<RemoteEntry>>("entries");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("empty folder") << QList<RemoteEntry>{} << strings({".."});
        QTest::newRow("interleaved groups keep their own order")
            << QList<RemoteEntry>{file(QStringLiteral("z.txt")), folder(QStringLiteral("b")), file(QStringLiteral("a.txt")),
                                  folder(QStringLiteral("A"))}
            << strings({"..", "b", "A", "z.txt", "a.txt"});
        QTest::newRow("directory bit with read-only is a file, a link to a folder a folder")
            << QList<RemoteEntry>{file(QStringLiteral("ro"), 0, 17), link(QStringLiteral("up"), QStringLiteral("/pub/"), true)}
            << strings({"..", "up", "ro"});
    }

    void rowOrder()
    {
        QFETCH(QList<RemoteEntry>, entries);
        QFETCH(QStringList, expected);
        QCOMPARE(namesOf(rowsFor(entries)), expected);
    }

    void typedRows_data()
    {
        QTest::addColumn<RemoteEntry>("entry");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("iconKey");
        QTest::addColumn<QStringList>("texts"); // size, type, attributes

        QTest::newRow("folder") << folder(QStringLiteral("docs")) << int(EntryKind::Folder) << QStringLiteral("zdirectoryx")
                                << strings({"", "Ordner", "D"});
        QTest::newRow("0 bytes show 1 KB") << file(QStringLiteral("empty.txt"), 0) << int(EntryKind::File)
                                           << QStringLiteral("ztxt") << strings({"1 KB", "Textdatei", "N"});
        QTest::newRow("5 GiB do not wrap") << file(QStringLiteral("big.iso"), 5LL * 1024 * 1024 * 1024) << int(EntryKind::File)
                                           << QStringLiteral("ziso") << strings({"5242880 KB", "ISO-Datei", "N"});
        QTest::newRow("name without dot") << file(QStringLiteral("Makefile")) << int(EntryKind::File)
                                          << QStringLiteral("zmakefile") << strings({"1 KB", "MAKEFILE-Datei", "N"});
        QTest::newRow("name ending in dot") << file(QStringLiteral("odd.")) << int(EntryKind::File) << QStringLiteral("z")
                                            << strings({"1 KB", "-Datei", "N"});
        QTest::newRow("directory and read-only bits: a file row, remote letter order")
            << file(QStringLiteral("locked"), 2048, 17) << int(EntryKind::File) << QStringLiteral("zlocked")
            << strings({"2 KB", "LOCKED-Datei", "RD"});
        QTest::newRow("link of unknown kind") << link(QStringLiteral("l.txt"), QStringLiteral("x.txt"), false)
                                              << int(EntryKind::Link) << QStringLiteral("ztxt") << strings({"1 KB", "Textdatei", "N"});
        QTest::newRow("link to a folder") << link(QStringLiteral("up"), QStringLiteral("/pub/"), true) << int(EntryKind::Link)
                                          << QStringLiteral("zdirectoryx") << strings({"", "Ordner", "D"});
    }

    void typedRows()
    {
        QFETCH(RemoteEntry, entry);
        QFETCH(int, kind);
        QFETCH(QStringList, texts);
        const QList<FileEntry> rows = rowsFor({entry});
        QCOMPARE(rows.size(), 2);
        const FileEntry& row = rows[1];
        QCOMPARE(row.name, entry.name);
        QCOMPARE(int(row.kind), kind);
        QTEST(row.iconKey, "iconKey");
        QCOMPARE(row.size, entry.size);
        QCOMPARE(row.attributes, entry.attributes);
        QCOMPARE(row.linkTarget, entry.linkTarget);
        QCOMPARE(row.permissions, entry.permissions);
        const RowStyle style{ListSide::Remote, AttributeOrder::Remote, QStringLiteral("Ordner")};
        QCOMPARE((QStringList{columnText(row, EntryColumn::Size, style), columnText(row, EntryColumn::Type, style),
                              columnText(row, EntryColumn::Attributes, style)}),
                 texts);
        QCOMPARE(columnText(row, EntryColumn::Changed, style), QStringLiteral("05.03.2005 14:07"));

        const FileEntry& parent = rows[0];
        QCOMPARE(parent.kind, EntryKind::Parent);
        QCOMPARE(parent.iconKey, QStringLiteral("zdirectoryx"));
    }

    void builtInTypesAreNumberedAlsoForFolders()
    {
        // Folders are typed like files: a folder "tools.exe" takes a number of the counter too.
        const QList<FileEntry> rows = rowsFor({folder(QStringLiteral("tools.exe")), file(QStringLiteral("x.EXE"))});
        QCOMPARE(rows[2].iconKey, QStringLiteral("zexe1"));
        QCOMPARE(rows[2].typeName, QStringLiteral("Anwendung"));
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
