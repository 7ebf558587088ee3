#include "CountingTypeProvider.h"
#include "DriveList.h"
#include "LocalFolderReader.h"
#include "TestHelpers.h"

#include <QTemporaryDir>
#include <QTimeZone>

#include <optional>

#include <sys/stat.h>

namespace {

// Each entry as "name|kind|icon key|type name|attribute bits in hex".
QStringList describe(const FolderListing& listing)
{
    const char* const kinds[] = {"parent", "folder", "file", "link"};
    QStringList entries;
    for (const FileEntry& entry : listing.entries)
        entries.append(QStringList{entry.name, QLatin1String(kinds[int(entry.kind)]), entry.iconKey, entry.typeName,
                                   QString::number(entry.attributes, 16)}
                           .join(QLatin1Char('|')));
    return entries;
}

} // namespace

class LocalFolderReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useCatalogue("deutsch"); } // the fallback type names end in its "-Datei"
    void init() { m_dir.emplace(); }

    // Read-only cannot be shown on disk when the tests run as the super-user; the listing below
    // shows the other bits.
    void readOnlyBitReplacesNormal()
    {
        QCOMPARE(::localAttributeBits({QStringLiteral("a.txt"), false, true, false, false}), quint32{0x1});
    }

    void foldersFirstHiddenSpecialAndLinksIncluded()
    {
        for (const char* folder : {"b", "A", ".config", "real", "Zed"})
            QVERIFY(QDir(m_dir->path()).mkpath(QString::fromLatin1(folder)));
        for (const char* file : {"Z.txt", "a.txt", ".profile"})
            QVERIFY(writeFile(m_dir->filePath(QString::fromLatin1(file))));
        QVERIFY(::mkfifo(QFile::encodeName(m_dir->filePath(QStringLiteral("pipe"))).constData(), 0600) == 0);
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("nowhere")), m_dir->filePath(QStringLiteral("dangling"))));
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("real")), m_dir->filePath(QStringLiteral("linked"))));
        CountingTypeProvider provider({{QStringLiteral("txt"), QStringLiteral("Textdokument")}});

        const FolderListing listing = readFolder(m_dir->path(), provider, CompareMode::Text);
        QVERIFY(listing.found);
        QCOMPARE(listing.folder, m_dir->path() + QLatin1Char('/'));
        // A link to a folder is listed and opened as a folder; a pipe is a system file.
        QCOMPARE(describe(listing),
                 strings({".config|folder|Folder||12", "A|folder|Folder||10", "b|folder|Folder||10",
                          "linked|link|Folder||10", "real|folder|Folder||10", "Zed|folder|Folder||10",
                          ".profile|file|zprofile|ILE-Datei|2", "a.txt|file|ztxt|Textdokument|80",
                          "dangling|link|zdangling|ING-Datei|80", "pipe|file|zpipe|IPE-Datei|4",
                          "Z.txt|file|ztxt|Textdokument|80"}));
        // One question per key, the folder picture once, and a picture for every key shown.
        QCOMPARE(provider.typeNameQuestions.size(), 4);
        QCOMPARE(provider.folderIconQuestions, 1);
        for (const FileEntry& entry : listing.entries)
            QVERIFY2(listing.icons.contains(entry.iconKey), qPrintable(entry.iconKey));

        QCOMPARE(subfolderNames(m_dir->path()), strings({".config", "A", "b", "linked", "real", "Zed"}));
        QCOMPARE(subfolderNames(m_dir->path(), CompareMode::Code),
                 strings({".config", "A", "Zed", "b", "linked", "real"}));
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
        QCOMPARE(describe(readFolder(m_dir->path(), provider, CompareMode::Code)),
                 strings({"one.exe|file|zexe0|Anwendung|80"}));
        QCOMPARE(provider.folderIconQuestions, 0);
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
        const FileEntry entry = readFolder(m_dir->path(), provider, CompareMode::Text).entries.value(0);
        QCOMPARE(entry.size, fiveGiB);
        QCOMPARE(localDateText(entry.lastWrite), QStringLiteral("31.12.2004 23:30:00"));
    }

    void drivesStartWithHomeAndRoot()
    {
        const QList<Drive> drives = availableDrives();
        QVERIFY(drives.size() >= 2);
        QCOMPARE(drives[0].root, QDir::homePath());
        QCOMPARE(drives[1].root, QStringLiteral("/"));
        // Each once, and none of the pseudo file systems every Linux mounts there.
        QStringList roots;
        for (const Drive& drive : drives) {
            const QString top = drive.root.section(QLatin1Char('/'), 1, 1);
            QVERIFY2(!roots.contains(drive.root) && !strings({"proc", "sys", "dev"}).contains(top),
                     qPrintable(drive.root));
            roots.append(drive.root);
        }
    }

private:
    std::optional<QTemporaryDir> m_dir;
};

QTEST_MAIN(LocalFolderReaderTest)
#include "tst_localfolderreader.moc"
