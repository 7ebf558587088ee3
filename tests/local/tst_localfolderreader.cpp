#include "CountingTypeProvider.h"
#include "DriveList.h"
#include "LocalFolderReader.h"
#include "TestHelpers.h"

#include <QTemporaryDir>
#include <QTimeZone>

#include <optional>

#include <sys/stat.h>

namespace {

const FileEntry* find(const FolderListing& listing, const char* name)
{
    for (const FileEntry& entry : listing.entries) {
        if (entry.name == QLatin1String(name))
            return &entry;
    }
    return nullptr;
}

} // namespace

class LocalFolderReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_dir.emplace(); }

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
        QTest::newRow("hidden folder") << ".cache" << true << false << false << true << quint32{0x12};
        QTest::newRow("hidden read-only file") << ".netrc" << false << true << false << false << quint32{0x3};
    }

    void localAttributeBits()
    {
        QFETCH(QString, name);
        QFETCH(bool, isFolder);
        QFETCH(bool, isRegularFile);
        QFETCH(bool, isSymLink);
        QFETCH(bool, isWritable);
        QTEST(::localAttributeBits({name, isFolder, isRegularFile, isSymLink, isWritable}), "bits");
    }

    void foldersFirstHiddenIncluded()
    {
        for (const char* folder : {"b", "A", ".config"})
            QVERIFY(QDir(m_dir->path()).mkpath(QString::fromLatin1(folder)));
        for (const char* file : {"Z.txt", "a.txt", ".profile"})
            QVERIFY(writeFile(m_dir->filePath(QString::fromLatin1(file))));
        CountingTypeProvider provider({{QStringLiteral("txt"), QStringLiteral("Textdokument")}});

        const FolderListing listing = readFolder(m_dir->path(), provider, CompareMode::Text);
        QVERIFY(listing.found);
        QCOMPARE(listing.folder, m_dir->path() + QLatin1Char('/'));
        QCOMPARE(namesOf(listing.entries), strings({".config", "A", "b", ".profile", "a.txt", "Z.txt"}));
        QCOMPARE(find(listing, "A")->kind, EntryKind::Folder);
        QCOMPARE(find(listing, "A")->iconKey, QStringLiteral("Folder"));
        QCOMPARE(find(listing, ".config")->attributes, FileAttribute::directory | FileAttribute::hidden);
        QCOMPARE(find(listing, ".profile")->typeName, QStringLiteral("ILE-Datei"));
        QCOMPARE(find(listing, "a.txt")->typeName, QStringLiteral("Textdokument"));
        // One question per key, the folder picture once, and a picture for every key shown.
        QCOMPARE(provider.typeNameQuestions.size(), 2);
        QCOMPARE(provider.folderIconQuestions, 1);
        for (const FileEntry& entry : listing.entries)
            QVERIFY2(listing.icons.contains(entry.iconKey), qPrintable(entry.iconKey));
    }

    void emptyOrMissingFolderAndFilesOnly()
    {
        CountingTypeProvider provider;
        const FolderListing empty = readFolder(m_dir->path() + QLatin1Char('/'), provider, CompareMode::Text);
        QVERIFY(!empty.found && empty.entries.isEmpty());
        const FolderListing missing = readFolder(QStringLiteral("/no/such/folder"), provider, CompareMode::Text);
        QVERIFY(!missing.found);
        QCOMPARE(missing.folder, QStringLiteral("/no/such/folder/"));
        // Without folders, no folder picture is fetched.
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("one.exe"))));
        QCOMPARE(find(readFolder(m_dir->path(), provider, CompareMode::Code), "one.exe")->typeName,
                 QStringLiteral("Anwendung"));
        QCOMPARE(provider.folderIconQuestions, 0);
    }

    void pseudoFileSystems_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("pseudo");
        QTest::newRow("proc") << QByteArray("proc") << true;
        QTest::newRow("tmpfs") << QByteArray("tmpfs") << true;
        QTest::newRow("cgroup2") << QByteArray("cgroup2") << true;
        QTest::newRow("ext4") << QByteArray("ext4") << false;
        QTest::newRow("nfs") << QByteArray("nfs4") << false;
    }

    void pseudoFileSystems()
    {
        QFETCH(QByteArray, type);
        QTEST(isPseudoFileSystem(type), "pseudo");
    }

    void largeSizeAndUtcTime()
    {
        // The machine's zone must not show through.
        qputenv("TZ", "America/New_York");
        tzset();
        QFile big(m_dir->filePath(QStringLiteral("big.iso")));
        const qint64 fiveGiB = qint64{5} * 1024 * 1024 * 1024;
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(fiveGiB)); // sparse: takes no disk space
        QVERIFY(big.setFileTime(QDateTime(QDate(2004, 12, 31), QTime(23, 30), QTimeZone::utc()),
                                QFileDevice::FileModificationTime));
        big.close();
        CountingTypeProvider provider;
        const FileEntry* entry = find(readFolder(m_dir->path(), provider, CompareMode::Text), "big.iso");
        QCOMPARE(entry->size, fiveGiB);
        QCOMPARE(localDateText(entry->lastWrite), QStringLiteral("31.12.2004 23:30:00"));
    }

    void specialFilesAndLinks()
    {
        QVERIFY(::mkfifo(QFile::encodeName(m_dir->filePath(QStringLiteral("pipe"))).constData(), 0600) == 0);
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("nowhere")), m_dir->filePath(QStringLiteral("dangling"))));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("real")));
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("real")), m_dir->filePath(QStringLiteral("linked"))));
        CountingTypeProvider provider;
        const FolderListing listing = readFolder(m_dir->path(), provider, CompareMode::Text);
        QCOMPARE(find(listing, "pipe")->attributes, FileAttribute::system);
        QCOMPARE(find(listing, "dangling")->attributes, FileAttribute::normal);
        // A link to a folder is listed and opened as a folder.
        QCOMPARE(find(listing, "linked")->iconKey, QStringLiteral("Folder"));
        QCOMPARE(subfolderNames(m_dir->path()), strings({"linked", "real"}));
    }

    void subfoldersInTextOrAndCodeOrder()
    {
        for (const char* folder : {"beta", "Alpha", ".hidden", "alpha2/deeper", "Zed"})
            QVERIFY(QDir(m_dir->path()).mkpath(QString::fromLatin1(folder)));
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("file.txt"))));
        QCOMPARE(subfolderNames(m_dir->path()), strings({".hidden", "Alpha", "alpha2", "beta", "Zed"}));
        QCOMPARE(subfolderNames(m_dir->path(), CompareMode::Code),
                 strings({".hidden", "Alpha", "Zed", "alpha2", "beta"}));
    }

    void drivesStartWithHomeAndRoot()
    {
        const QList<Drive> drives = availableDrives();
        QVERIFY(drives.size() >= 2);
        QCOMPARE(drives[0].root, QDir::homePath());
        QCOMPARE(drives[1].root, QStringLiteral("/"));
        QStringList roots;
        for (const Drive& drive : drives) {
            QVERIFY2(!roots.contains(drive.root) && !drive.root.startsWith(QStringLiteral("/proc")),
                     qPrintable(drive.root));
            roots.append(drive.root);
        }
    }

private:
    std::optional<QTemporaryDir> m_dir;
};

QTEST_MAIN(LocalFolderReaderTest)
#include "tst_localfolderreader.moc"
