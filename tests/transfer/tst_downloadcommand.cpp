#include "DownloadCommand.h"
#include "FtpServerFixture.h"
#include "FtpSession.h"
#include "JobContext.h"
#include "LocalPane.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

QStringList entryNames(const LocalPane& pane)
{
    QStringList names;
    for (const FileEntry& entry : pane.entries())
        names.append(entry.name);
    names.sort();
    return names;
}

} // namespace

// The GUI side of the download: inputs read when the command starts, the local pane afterwards.
class DownloadCommandTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
    }

    void downloadsIntoTheFolderOfItsStartAndShowsIt()
    {
        QTemporaryDir serverRoot;
        QTemporaryDir local;
        writeFile(serverRoot.filePath(QStringLiteral("pub/a.txt")), "alpha");
        writeFile(serverRoot.filePath(QStringLiteral("pub/docs/x.txt")), "x");
        const QString drive = local.path() + QLatin1Char('/');
        const QString target = drive + QStringLiteral("incoming/");
        QVERIFY(QDir().mkpath(target + QStringLiteral("deeper")));
        FtpServerFixture server;
        QVERIFY2(server.start(serverRoot.path()), qPrintable(server.errorText()));
        const ConnectionSettings settings{server.host(), server.portText(), FtpServerFixture::user(),
                                          FtpServerFixture::password(), true};

        LocalPane pane;
        pane.changeDrive(drive);
        pane.choosePath(target);
        QCOMPARE(pane.currentFolderPath(), target);

        SessionRunner runner;
        runner.start<bool>(
            [settings](JobContext& context) {
                return context.session().openConnection(settings)
                       && context.session().ftpSetDir(QStringLiteral("/pub"));
            },
            {});
        DownloadCommand command(runner, pane);
        QSignalSpy finished(&command, &DownloadCommand::finished);
        command.downloadSelection({{QStringLiteral("a.txt"), false}, {QStringLiteral("docs"), true}}, settings);
        QVERIFY(QApplication::overrideCursor());
        // The user moves on while the download runs; it still goes where it started.
        pane.choosePath(drive);
        QCOMPARE(pane.currentFolderPath(), drive);

        QVERIFY(finished.wait(60'000));
        const auto result = finished.first().first().value<DownloadResult>();
        QCOMPARE(result.targetFolder, target);
        QCOMPARE(result.filesFetched, 2);
        QVERIFY(QFile::exists(target + QStringLiteral("a.txt")));
        QVERIFY(QFile::exists(target + QStringLiteral("pub/docs/x.txt")));

        // The pane shows the target again: listed, and its node selected in a fresh tree.
        QCOMPARE(pane.listedFolder(), target);
        QCOMPARE(pane.currentFolderPath(), target);
        QCOMPARE(pane.driveRoot(), drive);
        QCOMPARE(entryNames(pane), QStringList({QStringLiteral("a.txt"), QStringLiteral("deeper"), QStringLiteral("pub")}));
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(DownloadCommandTest)
#include "tst_downloadcommand.moc"
