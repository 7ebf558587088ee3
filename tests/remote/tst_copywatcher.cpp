#include "CopyWatcher.h"
#include "TestHelpers.h"

#include <QTemporaryDir>

#include <cstdio>

namespace {

enum class Save { InPlace, RenameOver, BackupFirst, SlowBackup, Touch };

// Lets the watcher see what happened so far, as an editor's steps arrive one by one.
void step()
{
    QCoreApplication::processEvents();
}

// Saves content to path the way an editor of that kind does.
void save(Save kind, const QString& path, const QByteArray& content, CopyWatcher& watcher)
{
    const QByteArray target = QFile::encodeName(path);
    switch (kind) {
    case Save::InPlace: {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        step();
        QVERIFY(file.write(content) == content.size() && file.flush());
        break;
    }
    case Save::RenameOver:
        QVERIFY(writeFile(path + QStringLiteral(".new"), content));
        step();
        QCOMPARE(std::rename((target + ".new").constData(), target.constData()), 0);
        break;
    case Save::BackupFirst:
    case Save::SlowBackup:
        QCOMPARE(std::rename(target.constData(), (target + "~").constData()), 0);
        step();
        // So slow that the watcher finds no file in between.
        if (kind == Save::SlowBackup)
            QVERIFY(QSignalSpy(&watcher, &CopyWatcher::settled).wait());
        QVERIFY(writeFile(path, content.left(1)));
        step();
        QVERIFY(writeFile(path, content));
        break;
    case Save::Touch: {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        break;
    }
    }
}

} // namespace

Q_DECLARE_METATYPE(Save)

// The watch of opened copies on real files: every kind of save says so once, a save that leaves
// the content says nothing, and the watch goes on with the file that took the copy's place.
class CopyWatcherTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachSaveOnce_data()
    {
        QTest::addColumn<Save>("kind");
        QTest::addColumn<int>("reports"); // 1 or none; a save in place follows, which says so once
        QTest::newRow("written in place") << Save::InPlace << 1;
        QTest::newRow("new file renamed over it") << Save::RenameOver << 1;
        QTest::newRow("renamed to a backup, then written anew") << Save::BackupFirst << 1;
        QTest::newRow("the same, slowly") << Save::SlowBackup << 1;
        QTest::newRow("touched") << Save::Touch << 0;
    }

    void eachSaveOnce()
    {
        QFETCH(Save, kind);
        QFETCH(int, reports);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notes.txt"));
        QVERIFY(writeFile(path, "opened\n"));
        CopyWatcher watcher(std::chrono::milliseconds(200));
        watcher.watch(path);
        QSignalSpy changed(&watcher, &CopyWatcher::contentChanged);
        QSignalSpy settled(&watcher, &CopyWatcher::settled);
        save(kind, path, "first\n", watcher);
        QVERIFY(settled.wait());
        QCOMPARE(changed.size(), reports);
        // The watch is on the file that now stands at path.
        save(Save::InPlace, path, "second\n", watcher);
        QVERIFY(settled.wait());
        QCOMPARE(changed.size(), reports + 1);
        for (const QList<QVariant>& report : std::as_const(changed))
            QCOMPARE(report.first().toString(), path);
    }
};

QTEST_GUILESS_MAIN(CopyWatcherTest)
#include "tst_copywatcher.moc"
