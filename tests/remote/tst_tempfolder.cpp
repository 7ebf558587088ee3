#include "CopyWatcher.h"
#include "TempFolder.h"
#include "TestHelpers.h"

#include <QTemporaryDir>

#include <cstdio>
#include <sys/stat.h>

namespace {

enum class Save { InPlace, RenameOver, BackupFirst, SlowBackup, Touch };

// Saves content to path as an editor of that kind does.
void save(Save kind, const QString& path, const QByteArray& content, CopyWatcher& watcher)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray aside = target + '~';
    QFile file(path);
    switch (kind) {
    case Save::InPlace:
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCoreApplication::processEvents(); // the watcher sees each step as it comes
        QVERIFY(file.write(content) == content.size());
        break;
    case Save::RenameOver:
        QVERIFY(writeFile(path + QLatin1Char('~'), content) && std::rename(aside, target) == 0);
        break;
    case Save::BackupFirst:
    case Save::SlowBackup:
        QVERIFY(std::rename(target, aside) == 0);
        QCoreApplication::processEvents();
        // So slow that the watcher finds no file in between.
        QVERIFY(kind == Save::BackupFirst || QSignalSpy(&watcher, &CopyWatcher::settled).wait());
        QVERIFY(writeFile(path, content));
        break;
    case Save::Touch:
        QVERIFY(file.open(QIODevice::Append)
                && file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    }
}

mode_t modeOf(const QString& path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

Q_DECLARE_METATYPE(Save)

// The private folder remote files are opened from: nobody else may read it, and no name may lead
// out of it. That it lies in the cache folder shows in the remote commands' test of Open.
class TempFolderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_folder = m_dir->filePath(QStringLiteral("tempcorvc"));
    }

    void createsAPrivateFolderAndKeepsAnExistingFile()
    {
        const QString path = TempFolder::makeTempFile(QStringLiteral("report 1.txt"), {m_dir->path()});
        QCOMPARE(path, m_folder + QStringLiteral("/report 1.txt"));
        QCOMPARE(readFile(path), QByteArray());
        QCOMPARE(modeOf(m_folder), mode_t(0700));
        // A loose mode is tightened; a file already there keeps its content.
        QVERIFY(::chmod(QFile::encodeName(m_folder).constData(), 0777) == 0);
        QVERIFY(writeFile(m_folder + QStringLiteral("/kept.bin"), "content"));
        QCOMPARE(readFile(TempFolder::makeTempFile(QStringLiteral("kept.bin"), {m_dir->path()})),
                 QByteArray("content"));
        QCOMPARE(modeOf(m_folder), mode_t(0700));
    }

    void unusablePlacesAreSkipped()
    {
        // A missing parent, a "tempcorvc" that is a file, and one that is a link elsewhere.
        QTemporaryDir fileParent;
        QTemporaryDir linkParent;
        QTemporaryDir elsewhere;
        QVERIFY(writeFile(fileParent.filePath(QStringLiteral("tempcorvc")), "x"));
        QVERIFY(QFile::link(elsewhere.path(), linkParent.filePath(QStringLiteral("tempcorvc"))));
        QStringList parents{m_dir->filePath(QStringLiteral("missing")), fileParent.path(), linkParent.path()};
        QCOMPARE(TempFolder::makeTempFile(QStringLiteral("a.txt"), parents), QString());
        QCOMPARE(TempFolder::makeTempFile(QStringLiteral("a.txt"), parents << m_dir->path()),
                 m_folder + QStringLiteral("/a.txt"));
        QVERIFY(QDir(elsewhere.path()).isEmpty());
    }

    void namesThatLeaveTheFolderAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("dot") << QStringLiteral(".");
        QTest::newRow("dot dot") << QStringLiteral("..");
        QTest::newRow("slash") << QStringLiteral("../evil");
        QTest::newRow("nul") << QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b");
        // Longer than the file system allows: the folder made for it goes again.
        QTest::newRow("too long") << QString(300, QLatin1Char('n'));
    }

    void namesThatLeaveTheFolderAreRefused()
    {
        QFETCH(QString, name);
        QCOMPARE(TempFolder::makeTempFile(name, {m_dir->path()}), QString());
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }

    // The watch of an opened copy: each kind of save says so once, a touch says nothing, and the
    // watch goes on with the file that now stands there (a save in place follows).
    void eachSaveOnce_data()
    {
        QTest::addColumn<Save>("kind");
        QTest::addColumn<int>("reports");
        QTest::newRow("written in place") << Save::InPlace << 1;
        QTest::newRow("new file renamed over it") << Save::RenameOver << 1;
        QTest::newRow("renamed to a backup, then written anew") << Save::BackupFirst << 1;
        QTest::newRow("the same, slowly") << Save::SlowBackup << 1;
        QTest::newRow("touched") << Save::Touch << 0;
    }

    void eachSaveOnce()
    {
        const QString path = m_dir->filePath(QStringLiteral("notes.txt"));
        QVERIFY(writeFile(path, "opened\n"));
        CopyWatcher watcher(std::chrono::milliseconds(200));
        watcher.watch(path);
        QSignalSpy changed(&watcher, &CopyWatcher::contentChanged);
        QSignalSpy settled(&watcher, &CopyWatcher::settled);
        int reports = testData<int>("reports");
        for (const auto& [kind, content] : {std::pair{testData<Save>("kind"), "1"}, {Save::InPlace, "2"}}) {
            save(kind, path, content, watcher);
            QVERIFY(settled.wait());
            QCOMPARE(changed.size(), reports++);
        }
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
};

QTEST_GUILESS_MAIN(TempFolderTest)
#include "tst_tempfolder.moc"
