#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

mode_t modeOf(const QString& path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class TempFolderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void createsAPrivateFolderAndAnEmptyFile()
    {
        const QString path = TempFolder::makeTempFile(QStringLiteral("report 1.txt"), {m_dir->path()});
        QCOMPARE(path, m_dir->filePath(QStringLiteral("tempcorvc/report 1.txt")));
        QVERIFY(QFileInfo(path).isFile());
        QCOMPARE(QFileInfo(path).size(), 0);
        QCOMPARE(modeOf(m_dir->filePath(QStringLiteral("tempcorvc"))), mode_t(0700));
    }

    void existingFileIsKeptAndLooseModeTightened()
    {
        const QString folder = m_dir->filePath(QStringLiteral("tempcorvc"));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("tempcorvc")));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0777) == 0);
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("tempcorvc/kept.bin")), "content"));
        QFile file(TempFolder::makeTempFile(QStringLiteral("kept.bin"), {m_dir->path()}));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("content"));
        QCOMPARE(modeOf(folder), mode_t(0700));
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
        // None of them usable: no path at all.
        QCOMPARE(TempFolder::makeTempFile(QStringLiteral("a.txt"), parents), QString());
        QCOMPARE(TempFolder::makeTempFile(QStringLiteral("a.txt"), parents << m_dir->path()),
                 m_dir->filePath(QStringLiteral("tempcorvc/a.txt")));
        QVERIFY(QDir(elsewhere.path()).isEmpty());
    }

    void aFolderMadeForNothingIsRemoved()
    {
        // A name longer than the file system allows cannot be created.
        const QString tooLong(300, QLatin1Char('n'));
        QCOMPARE(TempFolder::makeTempFile(tooLong, {m_dir->path()}), QString());
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("tempcorvc"))));
    }

    void namesThatLeaveTheFolderAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("dot") << QStringLiteral(".");
        QTest::newRow("dot dot") << QStringLiteral("..");
        QTest::newRow("slash") << QStringLiteral("../evil");
        QTest::newRow("inner slash") << QStringLiteral("a/b");
        QTest::newRow("nul") << QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b");
    }

    void namesThatLeaveTheFolderAreRefused()
    {
        QFETCH(QString, name);
        QCOMPARE(TempFolder::makeTempFile(name, {m_dir->path()}), QString());
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }

    void runtimeFolderComesFirst()
    {
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
            QSKIP("XDG_RUNTIME_DIR is not set (CTest sets it)");
        const QStringList parents = TempFolder::candidateParents();
        QVERIFY(!parents.isEmpty());
        QCOMPARE(parents.first(), qEnvironmentVariable("XDG_RUNTIME_DIR"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TempFolderTest)
#include "tst_tempfolder.moc"
