#include "CountingTypeProvider.h"
#include "EntryTypeResolver.h"
#include "RemoteRows.h"
#include "TestHelpers.h"

namespace {

RemoteEntry file(const QString& name, quint32 attributes = FileAttribute::normal)
{
    RemoteEntry entry;
    entry.name = name;
    entry.size = 100;
    entry.attributes = attributes;
    return entry;
}

RemoteEntry folder(const QString& name)
{
    RemoteEntry entry = file(name, FileAttribute::directory);
    entry.isDirectory = true;
    return entry;
}

RemoteEntry link(const QString& name, bool toFolder)
{
    RemoteEntry entry = toFolder ? folder(name) : file(name);
    entry.isLink = true;
    entry.linkTarget = QStringLiteral("/pub/x");
    entry.permissions = QStringLiteral("lrwxrwxrwx");
    return entry;
}

QList<FileEntry> rowsFor(const QList<RemoteEntry>& entries)
{
    CountingTypeProvider provider({{QStringLiteral("txt"), QStringLiteral("Textdatei")}},
                                  CountingTypeProvider::Pictures::Fresh);
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
            << QList<RemoteEntry>{file(QStringLiteral("z.txt")), folder(QStringLiteral("b")),
                                  file(QStringLiteral("a.txt")), folder(QStringLiteral("A"))}
            << strings({"..", "b", "A", "z.txt", "a.txt"});
        QTest::newRow("directory bit with read-only is a file, a link to a folder a folder")
            << QList<RemoteEntry>{file(QStringLiteral("ro"), 17), link(QStringLiteral("up"), true)}
            << strings({"..", "up", "ro"});
    }

    void rowOrder()
    {
        QFETCH(QList<RemoteEntry>, entries);
        QTEST(namesOf(rowsFor(entries)), "expected");
    }

    void typedRows_data()
    {
        QTest::addColumn<RemoteEntry>("entry");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("iconKey");
        QTest::addColumn<QString>("typeName");
        // Folders are typed like files; the list shows its folder text for them instead.
        QTest::newRow("folder") << folder(QStringLiteral("docs")) << int(EntryKind::Folder) << "zdirectoryx"
                                << "DOCS-Datei";
        QTest::newRow("directory and read-only bits: a file")
            << file(QStringLiteral("locked"), 17) << int(EntryKind::File) << "zlocked" << "LOCKED-Datei";
        QTest::newRow("named type") << file(QStringLiteral("a.TXT")) << int(EntryKind::File) << "ztxt" << "Textdatei";
        QTest::newRow("link of unknown kind") << link(QStringLiteral("l.txt"), false) << int(EntryKind::Link) << "ztxt"
                                              << "Textdatei";
        QTest::newRow("link to a folder") << link(QStringLiteral("up"), true) << int(EntryKind::Link) << "zdirectoryx"
                                          << "UP-Datei";
    }

    void typedRows()
    {
        QFETCH(RemoteEntry, entry);
        const QList<FileEntry> rows = rowsFor({entry});
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].kind, EntryKind::Parent);
        const FileEntry& row = rows[1];
        QTEST(int(row.kind), "kind");
        QTEST(row.iconKey, "iconKey");
        QTEST(row.typeName, "typeName");
        QCOMPARE(row.size, entry.size);
        QCOMPARE(row.attributes, entry.attributes);
        QCOMPARE(row.linkTarget, entry.linkTarget);
        QCOMPARE(row.permissions, entry.permissions);
    }

    void builtInTypesAreNumberedAlsoForFolders()
    {
        // Folders are typed like files: a folder "tools.exe" takes a number of the counter too.
        const QList<FileEntry> rows = rowsFor({folder(QStringLiteral("tools.exe")), file(QStringLiteral("x.EXE"))});
        QCOMPARE(rows[2].iconKey, QStringLiteral("zexe1"));
        QCOMPARE(rows[2].typeName, QStringLiteral("Anwendung"));
    }
};

QTEST_MAIN(RemoteRowsTest)
#include "tst_remoterows.moc"
