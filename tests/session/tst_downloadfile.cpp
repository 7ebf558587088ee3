#include "DownloadFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The local half of a download: nothing replaces the target before commit(), and nothing is
// left behind when the download is given up.
class DownloadFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void commitReplacesTheTargetAndKeepsItsPermissions_data();
    void commitReplacesTheTargetAndKeepsItsPermissions();
    void discardLeavesTheTargetAndNoLitter();
    void droppedWithoutCommitIsDiscarded();
    void newFileInMissingFolderFails();
    void writePastTheFileSizeLimitFails();

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

void DownloadFileTest::commitReplacesTheTargetAndKeepsItsPermissions_data()
{
    QTest::addColumn<bool>("link"); // the target is a link to a file of that mode
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("expected"); // -1: a new file's mode
    QTest::newRow("plain bits") << false << 0640 << 0640;
    QTest::newRow("set-user-ID, set-group-ID and sticky dropped") << false << 07755 << 0755;
    QTest::newRow("a link's target not looked at") << true << 04711 << -1;
}

void DownloadFileTest::commitReplacesTheTargetAndKeepsItsPermissions()
{
    QFETCH(bool, link);
    QFETCH(int, mode);
    QFETCH(int, expected);
    const QByteArray targetBytes = QFile::encodeName(m_target);
    const QByteArray elsewhere = QFile::encodeName(m_dir->filePath(QStringLiteral("elsewhere")));
    if (link) {
        QVERIFY(QFile::rename(m_target, m_dir->filePath(QStringLiteral("elsewhere"))));
        QCOMPARE(::symlink("elsewhere", targetBytes.constData()), 0);
    }
    QCOMPARE(::chmod(link ? elsewhere.constData() : targetBytes.constData(), static_cast<mode_t>(mode)), 0);
    if (expected < 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        expected = static_cast<int>(0666 & ~mask);
    }

    DownloadFile file(m_target);
    QVERIFY2(file.open(), qPrintable(file.errorText()));
    QVERIFY(file.write("new ", 4));
    QCOMPARE(read(m_target), QByteArray("old")); // untouched until the end
    QVERIFY(file.write("content", 7));
    QVERIFY2(file.commit(), qPrintable(file.errorText()));
    QCOMPARE(read(m_target), QByteArray("new content"));
    struct stat result {};
    QCOMPARE(::lstat(targetBytes.constData(), &result), 0);
    QVERIFY(S_ISREG(result.st_mode)); // the link itself is replaced
    QCOMPARE(static_cast<int>(result.st_mode & 07777), expected);
    if (link)
        QCOMPARE(read(m_dir->filePath(QStringLiteral("elsewhere"))), QByteArray("old"));
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

void DownloadFileTest::writePastTheFileSizeLimitFails()
{
    // In a child, so that the limit and a signal that kills do not reach the test itself.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        DownloadFile file(m_target);
        const QByteArray data(8192, 'x');
        const bool failed = file.open() && !file.write(data.constData(), data.size())
                            && file.errorText().contains(QLatin1String("too large"));
        file.discard();
        ::_exit(failed ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), qPrintable(QStringLiteral("ended by signal %1").arg(WTERMSIG(status))));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(read(m_target), QByteArray("old"));
    QCOMPARE(everything(), QStringList{QStringLiteral("target.bin")});
}

QTEST_GUILESS_MAIN(DownloadFileTest)
#include "tst_downloadfile.moc"
