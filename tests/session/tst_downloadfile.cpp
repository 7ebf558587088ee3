#include "DownloadFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The local half of a download: nothing replaces the target before commit(), and nothing is
// left behind when the download is given up.
class DownloadFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void commitReplacesTheTargetAndKeepsItsPermissions();
    void discardLeavesTheTargetAndNoLitter();
    void droppedWithoutCommitIsDiscarded();
    void newFileInMissingFolderFails();

private:
    QByteArray read(const QString& path) const;
    QStringList everything() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_target;
};

void DownloadFileTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_target = m_dir->filePath(QStringLiteral("target.bin"));
    QFile file(m_target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
}

QByteArray DownloadFileTest::read(const QString& path) const
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList DownloadFileTest::everything() const
{
    return QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void DownloadFileTest::commitReplacesTheTargetAndKeepsItsPermissions()
{
    DownloadFile file(m_target);
    QVERIFY2(file.open(), qPrintable(file.errorText()));
    QVERIFY(file.write("new ", 4));
    QCOMPARE(read(m_target), QByteArray("old")); // untouched until the end
    QVERIFY(file.write("content", 7));
    QVERIFY2(file.commit(), qPrintable(file.errorText()));
    QCOMPARE(read(m_target), QByteArray("new content"));
    QCOMPARE(QFile::permissions(m_target), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
    QCOMPARE(everything(), QStringList{QStringLiteral("target.bin")});
}

void DownloadFileTest::discardLeavesTheTargetAndNoLitter()
{
    DownloadFile file(m_target);
    QVERIFY(file.open());
    QVERIFY(file.write("partial", 7));
    file.discard();
    QVERIFY(!file.commit());
    QCOMPARE(read(m_target), QByteArray("old"));
    QCOMPARE(everything(), QStringList{QStringLiteral("target.bin")});
}

void DownloadFileTest::droppedWithoutCommitIsDiscarded()
{
    {
        DownloadFile file(m_dir->filePath(QStringLiteral("new.bin")));
        QVERIFY(file.open());
        QVERIFY(file.write("partial", 7));
    }
    QCOMPARE(everything(), QStringList{QStringLiteral("target.bin")});
}

void DownloadFileTest::newFileInMissingFolderFails()
{
    DownloadFile file(m_dir->filePath(QStringLiteral("missing/new.bin")));
    QVERIFY(!file.open());
    QVERIFY(file.errorText().contains(QLatin1String("missing/new.bin")));
}

QTEST_GUILESS_MAIN(DownloadFileTest)
#include "tst_downloadfile.moc"
