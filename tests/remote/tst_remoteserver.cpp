#include "EntryListModel.h"
#include "FtpServerFixture.h"
#include "JobContext.h"
#include "NameLists.h"
#include "RemoteActions.h"
#include "RemoteCommands.h"
#include "RemoteIconStore.h"
#include "RemotePane.h"
#include "ScriptedPrompter.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

// The remote pane and its commands end to end, against a real server.
class RemoteServerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
    }

    void rowsFromARealListing_data()
    {
        QTest::addColumn<bool>("mlsd");
        QTest::addColumn<QString>("date");
        QTest::addColumn<int>("linkKind");
        // LIST gives old files their day only, MLSD the minute; pyftpdlib's MLSD follows links.
        QTest::newRow("LIST") << false << QStringLiteral("05.03.2005 00:00") << int(EntryKind::Link);
        QTest::newRow("MLSD") << true << QStringLiteral("05.03.2005 14:07") << int(EntryKind::Folder);
    }

    void rowsFromARealListing()
    {
        QFETCH(bool, mlsd);
        QFETCH(QString, date);
        QFETCH(int, linkKind);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("real/inner")));
        QVERIFY(QFile::link(root.filePath(QStringLiteral("real")), root.filePath(QStringLiteral("shortcut"))));
        QFile file(root.filePath(QStringLiteral("a.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(3584, 'x')) == 3584 && file.flush());
        QVERIFY(file.setFileTime(QDateTime(QDate(2005, 3, 5), QTime(14, 7, 9), Qt::UTC), QFileDevice::FileModificationTime));
        file.close();
        FtpServerFixture::Options options;
        options.advertiseMlsd = mlsd;
        FtpServerFixture server(options);
        QVERIFY2(server.start(root.path()), qPrintable(server.errorText()));

        SessionRunner runner;
        RemoteIconStore icons;
        RemotePane pane(runner, icons);
        QVERIFY(connectTo(runner, server));
        QVERIFY(list(pane, [&] { pane.refreshRemote(true); }));
        const QList<FileEntry>& rows = pane.rows();
        QCOMPARE(rows.size(), 4);
        const int fileRow = static_cast<int>(namesOf(rows).indexOf(QStringLiteral("a.txt")));
        QCOMPARE(rows[fileRow].kind, EntryKind::File);
        QCOMPARE(pane.model()->text(fileRow, EntryListModel::SizeColumn), QStringLiteral("4 KB"));
        QCOMPARE(pane.model()->text(fileRow, EntryListModel::ChangedColumn), date);

        // The link leads into the folder, whatever the listing could tell of it.
        const int linkRow = static_cast<int>(namesOf(rows).indexOf(QStringLiteral("shortcut")));
        QCOMPARE(int(rows[linkRow].kind), linkKind);
        QVERIFY(list(pane, [&] { pane.activateRow(linkRow); }));
        QCOMPARE(namesOf(pane.rows()), strings({"..", "inner"}));
        QCOMPARE(pane.folder(), QStringLiteral("/shortcut"));
    }

    // A download ends with a re-connection; the next one must still fetch from the folder shown.
    void secondDownloadFetchesFromTheFolderShown()
    {
        QTemporaryDir root;
        QTemporaryDir target;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("pub")));
        writeFile(root.filePath(QStringLiteral("a.txt")), "namesake in the root");
        writeFile(root.filePath(QStringLiteral("pub/a.txt")), "the one shown");
        FtpServerFixture server;
        QVERIFY2(server.start(root.path()), qPrintable(server.errorText()));
        const ConnectionSettings settings = settingsOf(server);

        ScriptedPrompter prompter;
        SessionRunner runner;
        RemoteIconStore icons;
        QWidget window;
        auto* pane = new RemotePane(runner, icons, &window);
        QStringList shown;
        RemoteActions actions(*pane, runner,
                              {[settings] { return settings; }, [&target] { return target.path() + QLatin1Char('/'); },
                               [&shown](const QString& folder) { shown.append(folder); }, {}},
                              &window);
        QVERIFY(connectTo(runner, server));
        QVERIFY(list(*pane, [&] { pane->changeFolder(QStringLiteral("pub")); }));

        const QString local = target.filePath(QStringLiteral("a.txt"));
        for (int round = 0; round < 2; ++round) {
            pane->listView()->detailView()->setCurrentIndex(pane->model()->index(1, 0));
            QCOMPARE(namesOf(pane->selectedRows()), strings({"a.txt"}));
            QSignalSpy finished(&actions.commands(), &RemoteCommands::downloadFinished);
            QSignalSpy idle(&runner, &JobRunner::idle);
            actions.action(RemoteCommand::Download)->trigger();
            QVERIFY(finished.wait(20000));
            QVERIFY(idle.wait(20000));
            QFile file(local);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("the one shown"));
            QVERIFY(QFile::remove(local));
        }
        QCOMPARE(shown, QStringList(2, target.path() + QLatin1Char('/')));
        QCOMPARE(serverFolder(runner), QStringLiteral("/pub"));
        QVERIFY(prompter.messages.isEmpty());
    }

private:
    static ConnectionSettings settingsOf(const FtpServerFixture& server)
    {
        return {server.host(), server.portText(), FtpServerFixture::user(), FtpServerFixture::password(), true};
    }

    static void writeFile(const QString& path, const QByteArray& content)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }

    static bool connectTo(SessionRunner& runner, const FtpServerFixture& server)
    {
        const ConnectionSettings settings = settingsOf(server);
        QSignalSpy idle(&runner, &JobRunner::idle);
        runner.start([settings](JobContext& context) { context.session().openConnection(settings); });
        return idle.wait(10000) && runner.isConnected();
    }

    static QString serverFolder(SessionRunner& runner)
    {
        QString folder;
        QSignalSpy idle(&runner, &JobRunner::idle);
        runner.start<QString>([](JobContext& context) { return context.session().ftpCurrentDir(); },
                              [&folder](QString current) { folder = current; });
        idle.wait(10000);
        return folder;
    }

    static bool list(RemotePane& pane, const std::function<void()>& action)
    {
        QSignalSpy finished(&pane, &RemotePane::listingFinished);
        action();
        return finished.wait(10000);
    }
};

QTEST_MAIN(RemoteServerTest)
#include "tst_remoteserver.moc"
