#include "NameLists.h"
#include "CountingTypeProvider.h"
#include "DriveList.h"
#include "LocalFolderReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>

namespace {

// A temporary folder with helpers to fill it.
class TestDir : public QTemporaryDir
{
public:
    void createFiles(const QStringList& names, qint64 size = 0) const
    {
        for (const QString& name : names) {
            QFile file(filePath(name));
            QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(name));
            QVERIFY(file.resize(size));
        }
    }
    void createFolders(const QStringList& names) const
    {
        for (const QString& name : names)
            QVERIFY2(QDir(path()).mkpath(name), qPrintable(name));
    }
};

const FileEntry* find(const FolderListing& listing, const QString& name)
{
    for (const FileEntry& entry : listing.entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

} // namespace

class LocalFolderReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void localAttributeBits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<bool>("isRegularFile");
        QTest::addColumn<bool>("isSymLink");
        QTest::addColumn<bool>("isWritable");
        QTest::addColumn<quint32>("bits");
        QTest::newRow("plain file") << "a.txt" << false << true << false << true << quint32{0x80};
        QTest::newRow("read-only file") << "a.txt" << false << true << false << false << quint32{0x1};
        QTest::newRow("folder") << "docs" << true << false << false << true << quint32{0x10};
        QTest::newRow("hidden folder") << ".cache" << true << false << false << true << quint32{0x12};
        QTest::newRow("hidden read-only file") << ".netrc" << false << true << false << false << quint32{0x3};
        QTest::newRow("fifo") << "pipe" << false << false << false << true << quint32{0x4};
        QTest::newRow("dangling link") << "link" << false << false << true << true << quint32{0x80};
    }

    void localAttributeBits()
    {
        QFETCH(QString, name);
        QFETCH(bool, isFolder);
        QFETCH(bool, isRegularFile);
        QFETCH(bool, isSymLink);
        QFETCH(bool, isWritable);
        QFETCH(quint32, bits);
        QCOMPARE(::localAttributeBits({name, isFolder, isRegularFile, isSymLink, isWritable}), bits);
    }

    void foldersFirstHiddenIncluded()
    {
        TestDir dir;
        dir.createFolders({QStringLiteral("b"), QStringLiteral("A"), QStringLiteral(".config")});
        dir.createFiles({QStringLiteral("Z.txt"), QStringLiteral("a.txt"), QStringLiteral(".profile")});
        CountingTypeProvider provider({{QStringLiteral("txt"), QStringLiteral("Textdokument")}});

        const FolderListing listing = readFolder(dir.path(), provider, CompareMode::Text);
        QVERIFY(listing.found);
        QCOMPARE(listing.folder, dir.path() + QLatin1Char('/'));
        QCOMPARE(namesOf(listing.entries),
                 (QStringList{QStringLiteral(".config"), QStringLiteral("A"), QStringLiteral("b"),
                              QStringLiteral(".profile"), QStringLiteral("a.txt"), QStringLiteral("Z.txt")}));

        const FileEntry* folder = find(listing, QStringLiteral("A"));
        QCOMPARE(folder->iconKey, QStringLiteral("Folder"));
        QCOMPARE(folder->kind, EntryKind::Folder);
        QCOMPARE(folder->attributes, FileAttribute::directory);
        QCOMPARE(find(listing, QStringLiteral(".config"))->attributes, FileAttribute::directory | FileAttribute::hidden);
        QCOMPARE(find(listing, QStringLiteral(".profile"))->attributes, FileAttribute::hidden);
        QCOMPARE(find(listing, QStringLiteral(".profile"))->typeName, QStringLiteral("ILE-Datei"));
        QCOMPARE(find(listing, QStringLiteral("a.txt"))->attributes, FileAttribute::normal);
        QCOMPARE(find(listing, QStringLiteral("a.txt"))->typeName, QStringLiteral("Textdokument"));

        // One question per key, the folder picture once, and a picture for every key shown.
        QCOMPARE(provider.typeNameQuestions.size(), 2);
        QCOMPARE(provider.folderIconQuestions, 1);
        for (const FileEntry& entry : listing.entries)
            QVERIFY2(listing.icons.contains(entry.iconKey), qPrintable(entry.iconKey));
    }

    void emptyOrMissingFolderListsNothing()
    {
        TestDir dir;
        CountingTypeProvider provider;
        const FolderListing empty = readFolder(dir.path() + QLatin1Char('/'), provider, CompareMode::Text);
        QVERIFY(!empty.found);
        QVERIFY(empty.entries.isEmpty());
        QCOMPARE(provider.folderIconQuestions, 0);
        const FolderListing missing = readFolder(QStringLiteral("/no/such/folder"), provider, CompareMode::Text);
        QVERIFY(!missing.found);
        QCOMPARE(missing.folder, QStringLiteral("/no/such/folder/"));
    }

    void filesOnlyFetchNoFolderPicture()
    {
        TestDir dir;
        dir.createFiles({QStringLiteral("one.exe"), QStringLiteral("two.exe")});
        CountingTypeProvider provider;
        const FolderListing listing = readFolder(dir.path(), provider, CompareMode::Code);
        QCOMPARE(provider.folderIconQuestions, 0);
        QCOMPARE(find(listing, QStringLiteral("one.exe"))->typeName, QStringLiteral("Anwendung"));
        QStringList keys{find(listing, QStringLiteral("one.exe"))->iconKey, find(listing, QStringLiteral("two.exe"))->iconKey};
        keys.sort();
        QCOMPARE(keys, (QStringList{QStringLiteral("zexe0"), QStringLiteral("zexe1")}));
    }

    void pseudoFileSystems_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("pseudo");
        QTest::newRow("proc") << QByteArray("proc") << true;
        QTest::newRow("sysfs") << QByteArray("sysfs") << true;
        QTest::newRow("tmpfs") << QByteArray("tmpfs") << true;
        QTest::newRow("cgroup2") << QByteArray("cgroup2") << true;
        QTest::newRow("ext4") << QByteArray("ext4") << false;
        QTest::newRow("vfat") << QByteArray("vfat") << false;
        QTest::newRow("nfs") << QByteArray("nfs4") << false;
    }

    void pseudoFileSystems()
    {
        QFETCH(QByteArray, type);
        QFETCH(bool, pseudo);
        QCOMPARE(isPseudoFileSystem(type), pseudo);
    }

    void largeSizeAndUtcTime()
    {
        // The machine's zone must not show through.
        qputenv("TZ", "America/New_York");
        tzset();
        TestDir dir;
        QFile big(dir.filePath(QStringLiteral("big.iso")));
        QVERIFY(big.open(QIODevice::WriteOnly));
        const qint64 fiveGiB = qint64{5} * 1024 * 1024 * 1024;
        QVERIFY(big.resize(fiveGiB)); // sparse: takes no disk space
        const QDateTime written(QDate(2004, 12, 31), QTime(23, 30), QTimeZone::utc());
        QVERIFY(big.setFileTime(written, QFileDevice::FileModificationTime));
        big.close();

        CountingTypeProvider provider;
        const FolderListing listing = readFolder(dir.path(), provider, CompareMode::Text);
        const FileEntry* entry = find(listing, QStringLiteral("big.iso"));
        QCOMPARE(entry->size, fiveGiB);
        QCOMPARE(localSizeText(entry->size), QStringLiteral("5242881 KB"));
        QCOMPARE(localDateText(entry->lastWrite), QStringLiteral("31.12.2004 23:30:00"));
    }

    void specialFilesAreSystem()
    {
        TestDir dir;
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe"))).constData(), 0600) == 0);
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(QStringLiteral("dangling"))));
        dir.createFolders({QStringLiteral("real")});
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("real")), dir.filePath(QStringLiteral("linked"))));
        CountingTypeProvider provider;
        const FolderListing listing = readFolder(dir.path(), provider, CompareMode::Text);
        QCOMPARE(find(listing, QStringLiteral("pipe"))->attributes, FileAttribute::system);
        QCOMPARE(find(listing, QStringLiteral("dangling"))->attributes, FileAttribute::normal);
        // A link to a folder is listed and opened as a folder.
        QCOMPARE(find(listing, QStringLiteral("linked"))->iconKey, QStringLiteral("Folder"));
        QCOMPARE(subfolderNames(dir.path()), (QStringList{QStringLiteral("linked"), QStringLiteral("real")}));
    }

    void subfoldersInTextOrder()
    {
        TestDir dir;
        dir.createFolders({QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral(".hidden"),
                           QStringLiteral("alpha2/deeper"), QStringLiteral("Zed")});
        dir.createFiles({QStringLiteral("file.txt")});
        QCOMPARE(subfolderNames(dir.path()),
                 (QStringList{QStringLiteral(".hidden"), QStringLiteral("Alpha"), QStringLiteral("alpha2"),
                              QStringLiteral("beta"), QStringLiteral("Zed")}));
        QCOMPARE(subfolderNames(dir.path(), CompareMode::Code),
                 (QStringList{QStringLiteral(".hidden"), QStringLiteral("Alpha"), QStringLiteral("Zed"),
                              QStringLiteral("alpha2"), QStringLiteral("beta")}));
    }

    void drivesStartWithHomeAndRoot()
    {
        const QList<Drive> drives = availableDrives();
        QVERIFY(drives.size() >= 2);
        QCOMPARE(drives[0].root, QDir::homePath());
        QCOMPARE(drives[1].root, QStringLiteral("/"));
        QStringList roots;
        for (const Drive& drive : drives) {
            QVERIFY2(!roots.contains(drive.root), qPrintable(drive.root));
            QVERIFY2(!drive.root.startsWith(QStringLiteral("/proc")) && !drive.root.startsWith(QStringLiteral("/sys")),
                     qPrintable(drive.root));
            roots.append(drive.root);
        }
    }

};

QTEST_MAIN(LocalFolderReaderTest)
#include "tst_localfolderreader.moc"
