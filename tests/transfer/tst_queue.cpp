#include "FakeRemoteServer.h"
#include "FtpServerFixture.h"
#include "InlineJobRunner.h"
#include "ItemTransfer.h"
#include "QueuePane.h"
#include "QueueProcessor.h"
#include "PeerDecisions.h"
#include "QueueStore.h"
#include "SessionMaker.h"
#include "SessionRunner.h"
#include "TestHelpers.h"
#include "TransferLedger.h"
#include "TransferQueue.h"
#include "VsftpdFixture.h"

#include <QAction>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTreeView>

#include <mutex>

#include <sqlite3.h>

namespace {

const QString password = QStringLiteral("pw-Zq7#never-on-disk");

TransferItem item(TransferDirection direction, const char* local, const char* remote, bool folder = false)
{
    TransferItem made;
    made.direction = direction;
    made.isFolder = folder;
    made.localPath = QString::fromUtf8(local);
    made.remotePath = QString::fromUtf8(remote);
    made.size = folder ? -1 : 4096;
    made.server.host = QStringLiteral("ftp.example.org");
    made.server.port = QStringLiteral("2121");
    made.server.user = QStringLiteral("anna");
    made.server.password = password;
    made.shownName = made.remotePath;
    return made;
}

// Every item as one line: the fields a restart must give back.
QStringList describe(const QList<TransferItem>& items)
{
    QStringList lines;
    for (const TransferItem& it : items)
        lines.append(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
                         .arg(it.id)
                         .arg(int(it.direction))
                         .arg(it.localPath, it.remotePath)
                         .arg(int(it.state))
                         .arg(it.reason, accountKey(it.server))
                         .arg(it.server.password.isEmpty() ? QStringLiteral("-") : QStringLiteral("PASSWORD"))
                         .arg(it.tries));
    return lines;
}

QByteArray filesIn(const QString& folder)
{
    QByteArray all;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
        all += readFile(file.absoluteFilePath());
    return all;
}

// The states of the items, in queue order: "q" queued, "r" running, "f" failed, "d" done.
QString states(const TransferQueue& queue)
{
    QString letters;
    for (const TransferItem& it : queue.items())
        letters += QLatin1Char("qrfd"[static_cast<int>(it.state)]);
    return letters;
}

// Selects the rows of the tab that show the items at these queue positions, and runs command.
void runOn(QueuePane& pane, QueuePane::Tab tab, const QList<int>& positions, QueueCommand command)
{
    pane.tabs()->setCurrentIndex(tab);
    QTreeView* view = pane.view(tab);
    view->selectionModel()->clearSelection();
    auto* filter = static_cast<QSortFilterProxyModel*>(view->model());
    for (const int position : positions) {
        const auto row = [&] { return filter->mapFromSource(filter->sourceModel()->index(position, 0)); };
        QTRY_VERIFY(row().isValid()); // an item that just ended reaches its tab at the next refilter
        view->selectionModel()->select(row(), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QVERIFY(pane.action(command)->isEnabled());
    pane.action(command)->trigger();
}

} // namespace

// The queue and its store: what a restart gives back, what the rules let run, and the pane's
// commands on the in-memory server.
class QueueTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storeKeepsTheQueueAcrossARestart()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("queue.sqlite3"));
        QStringList before;
        {
            TransferQueue queue;
            QCOMPARE(queue.open(path), QueueStore::Opened::Read);
            const qint64 batch = queue.newBatch();
            QList<TransferItem> items{item(TransferDirection::Download, "/l/a.txt", "/pub/a.txt"),
                                      item(TransferDirection::Upload, "/l/up", "/pub/up", true),
                                      item(TransferDirection::Upload, "/l/up/b.txt", "/pub/up/b.txt"),
                                      item(TransferDirection::Download, "/l/c.txt", "/pub/c.txt")};
            for (TransferItem& it : items)
                it.batch = batch;
            const QList<qint64> ids = queue.add(items);
            queue.setParallel(7);
            queue.setRetrySettings({4, 9});
            queue.setRunning(ids[0]);
            TransferItem failed = *queue.item(ids[3]);
            failed.state = TransferState::Failed;
            failed.reason = QStringLiteral("550 no such file");
            queue.finish(failed);
            queue.moveUp({ids[3]}); // among the failed it is alone: it stays
            queue.moveDown({ids[1]});
            before = describe(queue.items());
            // A command that ended is not brought back: the Successful tab is this session's.
            TransferItem done = item(TransferDirection::Download, "/l/e.txt", "/pub/e.txt");
            done.batch = queue.newBatch();
            done = *queue.item(queue.add({done}).first());
            done.state = TransferState::Done;
            queue.finish(done);
        }
        QVERIFY(!filesIn(folder.path()).contains(password.toUtf8()));

        TransferQueue restarted;
        QCOMPARE(restarted.open(path), QueueStore::Opened::Read);
        // What ran waits again; the rest comes back as it was, in its order, without the password.
        before[0].replace(QStringLiteral(" 1 "), QStringLiteral(" 0 "));
        QCOMPARE(describe(restarted.items()), before);
        QCOMPARE(restarted.items().at(1).localPath, QStringLiteral("/l/up/b.txt"));
        QCOMPARE(restarted.parallel(), 7);
        QCOMPARE(restarted.retrySettings().retries + restarted.retrySettings().delaySeconds, 4 + 9);
        // What came back waits for "process the queue".
        const QSet<QString> servers{accountKey(restarted.items().first().server)};
        QVERIFY(!restarted.next(servers));
        restarted.release();
        QCOMPARE(restarted.next(servers)->id, restarted.items().first().id);
        const QList<qint64> more = restarted.add({item(TransferDirection::Download, "/l/d", "/pub/d")});
        QVERIFY(more.first() > restarted.items().at(3).id);
    }

    void damagedStoreIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("sql"); // run on the file before the queue opens it; empty: garbage bytes
        QTest::newRow("not a database") << QByteArray();
        QTest::newRow("another program's database") << QByteArray("CREATE TABLE notes (text TEXT)");
        QTest::newRow("a row that is no item")
            << QByteArray("CREATE TABLE x (a); DROP TABLE x; PRAGMA user_version = 1; CREATE TABLE items (id, position, "
                          "batch, direction, is_folder, local_path, remote_path, size, flag, protocol, host, port, "
                          "user, passive, encryption, texts, shown_name, refusal, state, reason, tries, bytes_done, "
                          "partial_path, remote_size, remote_time); CREATE TABLE settings (key, value);"
                          "INSERT INTO items VALUES (1, 1, 1, 9, 0, '/l', '/r', 1, 2, 0, 'h', '21', 'u', 0, 1, 0, 'n', "
                          "0, 0, '', 0, 0, '', -1, NULL)");
    }

    void damagedStoreIsKeptAside()
    {
        QFETCH(QByteArray, sql);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("queue.sqlite3"));
        QByteArray bytes("this is not what the queue wrote\n");
        if (sql.isEmpty()) {
            QVERIFY(writeFile(path, bytes));
        } else {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
            bytes = readFile(path);
        }

        {
            TransferQueue queue;
            QCOMPARE(queue.open(path), QueueStore::Opened::KeptAside);
            QCOMPARE(queue.keptAside(), path + QStringLiteral(".damaged"));
            QCOMPARE(readFile(queue.keptAside()), bytes);
            QVERIFY(queue.items().isEmpty());
            queue.add({item(TransferDirection::Download, "/l/a", "/pub/a")});
            // Another copy of the program leaves it alone while this one holds it.
            QCOMPARE(TransferQueue().open(path), QueueStore::Opened::InUse);
        }
        TransferQueue again;
        QCOMPARE(again.open(path), QueueStore::Opened::Read);
        QCOMPARE(again.items().size(), 1);
    }

    // The pane's commands on workers that run on the in-memory server: stop, order, the failed tab.
    void paneCommandsOnTheFakeRunner()
    {
        useCatalogue("deutsch");
        QTemporaryDir local;
        FakeRemoteServer server;
        server.addFolder(QStringLiteral("/pub"));
        TransferQueue queue;
        queue.open(local.filePath(QStringLiteral("queue.sqlite3")));
        QStringList lines;
        QueueProcessor processor(queue, {[&server] { return std::make_unique<InlineJobRunner>(server); },
                                         [ledger = std::make_shared<TransferLedger>()] { return ItemTransfer::makeJob(ledger); }});
        QObject::connect(&processor, &QueueProcessor::historyLine, recorderOf(lines));
        QueuePane pane(queue, processor);
        QList<TransferItem> items;
        const qint64 batch = queue.newBatch();
        for (const char* name : {"a", "b", "c", "d"}) {
            const QString path = local.filePath(QString::fromLatin1(name));
            if (name != QByteArray("d"))
                QVERIFY(writeFile(path, name));
            items.append(item(TransferDirection::Upload, qPrintable(path), qPrintable(QStringLiteral("/pub/") + QLatin1String(name))));
            items.last().batch = batch;
            items.last().texts = TransferTexts::Upload;
            items.last().shownName = path;
        }

        int limit = 1; // the server's own limit, then none
        processor.setServerLimit([&limit](const QString&) { return limit; });
        int commandEnds = 0; // the panes show what came of it
        processor.add(items, password, [&commandEnds] { ++commandEnds; });
        QCOMPARE(states(queue), QStringLiteral("rqqq"));
        limit = 0;
        processor.setParallel(2);
        QCOMPARE(states(queue), QStringLiteral("rrqq"));
        pane.action(QueueCommand::Process)->trigger(); // nothing changes while it runs
        processor.stop();
        QTRY_COMPARE(states(queue), QStringLiteral("qqqq"));
        QCOMPARE(lines, QStringList{historyKey("red", "MPUB_STOPPED")});
        QCOMPARE(commandEnds, 1);
        QVERIFY(!server.exists(QStringLiteral("/pub/a")));
        // A command queued after the stop runs; the stopped ones wait for "process the queue".
        processor.add({items.first()}, password);
        QTRY_COMPARE(states(queue), QStringLiteral("qqqqd"));
        lines.clear();
        runOn(pane, QueuePane::DoneTab, {4}, QueueCommand::Remove);

        runOn(pane, QueuePane::QueueTab, {3}, QueueCommand::MoveUp);
        runOn(pane, QueuePane::QueueTab, {2, 3}, QueueCommand::MoveUp); // c and d: d moves, c is held
        QCOMPARE(queue.item(queue.items().at(1).id)->localPath, local.filePath(QStringLiteral("d")));
        pane.action(QueueCommand::Process)->trigger();
        QTRY_COMPARE(states(queue), QStringLiteral("dfdd"));
        QCOMPARE(commandEnds, 2);
        QCOMPARE(queue.items().at(1).reason, getText("QUEUE_REASON_LOCALREAD"));
        QCOMPARE(lines.mid(0, 4), QStringList({historyLine("black", QStringLiteral("Aktion: Starte Upload von ") + local.filePath(QStringLiteral("a"))),
                                               historyKey("green", "MPUB_UPOK"),
                                               historyLine("black", QStringLiteral("Aktion: Starte Upload von ") + local.filePath(QStringLiteral("d"))),
                                               historyKey("red", "MPUB_UPFAILED")}));

        QVERIFY(writeFile(local.filePath(QStringLiteral("d")), "d"));
        runOn(pane, QueuePane::FailedTab, {1}, QueueCommand::Requeue);
        QTRY_COMPARE(states(queue), QStringLiteral("dddd"));
        QCOMPARE(server.content(QStringLiteral("/pub/d")), QByteArray("d"));
        runOn(pane, QueuePane::DoneTab, {0, 2}, QueueCommand::Remove);
        QTRY_COMPARE(pane.view(QueuePane::DoneTab)->model()->rowCount(), 2);
        // One connection per worker, kept between items and closed when the queue stands still.
        QCOMPARE(server.calls.count(QStringLiteral("LOGIN")), 4);
        QTRY_VERIFY(!server.isConnected());
        // A download's partial file goes with its item.
        TransferItem partial = item(TransferDirection::Download, qPrintable(local.filePath(QStringLiteral("p"))), "/pub/p");
        partial.partialPath = local.filePath(QStringLiteral("p.part"));
        QVERIFY(writeFile(partial.partialPath, "half"));
        queue.add({partial});
        runOn(pane, QueuePane::QueueTab, {int(queue.items().size()) - 1}, QueueCommand::Remove);
        QVERIFY(!QFileInfo::exists(partial.partialPath));
    }

    // The same two files queued three times, on four workers with connections of their own to pyftpdlib:
    // an item waits while another writes its target, so no two ever write one file at once.
    // A download that ran when the program ended goes on from the partial file its item recorded,
    // once the queue is processed again, and arrives byte for byte.
    void runningDownloadResumesAfterARestart()
    {
        useCatalogue("deutsch");
        QTemporaryDir local;
        QTemporaryDir remote;
        QByteArray content(2 * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < content.size(); ++i)
            content[i] = char(i * 13 % 253);
        const QString served = remote.filePath(QStringLiteral("big.bin"));
        QVERIFY(writeFile(served, content));
        FtpServerFixture server;
        QVERIFY(server.start(remote.path()));
        const QString store = local.filePath(QStringLiteral("queue.sqlite3"));
        TransferItem big = item(TransferDirection::Download, qPrintable(local.filePath(QStringLiteral("big.bin"))), "/big.bin");
        big.size = big.remoteSizeAtStart = content.size();
        big.server = settingsOf(server);
        big.partialPath = big.localPath + QStringLiteral(".part");
        big.remoteTimeAtStart = QDateTime::fromSecsSinceEpoch(QFileInfo(served).lastModified().toSecsSinceEpoch(), QTimeZone::utc());
        QVERIFY(writeFile(big.partialPath, content.left(1'000'000)));
        {
            TransferQueue ended;
            ended.open(store);
            big.batch = ended.newBatch();
            ended.setRunning(ended.add({big}).first());
        }
        TransferQueue queue;
        QCOMPARE(queue.open(store), QueueStore::Opened::Read);
        const auto ledger = std::make_shared<TransferLedger>();
        QueueProcessor processor(queue, {[] { return std::make_unique<SessionRunner>(makeSession); },
                                         [ledger] { return ItemTransfer::makeJob(ledger); }});
        processor.setPasswordQuestion([](const ConnectionSettings&) { return std::optional(FtpServerFixture::password()); });
        QStringList lines;
        connect(&processor, &QueueProcessor::historyLine, this, recorderOf(lines));
        QSignalSpy idle(&processor, &QueueProcessor::idle);
        QSignalSpy withoutCommand(&processor, &QueueProcessor::itemsWithoutCommandEnded);
        processor.process();
        QVERIFY(idle.wait(jobTimeout));
        QVERIFY(lines.contains(historyLine("black", getText("RESUME_FROM").arg(1'000'000).arg(QStringLiteral("/big.bin")))));
        // No command of this run waits for it: the panes are told by themselves.
        QCOMPARE(withoutCommand.size(), 1);
        QCOMPARE(withoutCommand.first(), (QVariantList{true, false}));
        QVERIFY(readFile(big.localPath) == content && !QFileInfo::exists(big.partialPath));
    }

    void parallelWorkersNeverWriteOneTargetTwice()
    {
        useCatalogue("deutsch");
        QTemporaryDir local;
        QTemporaryDir remote;
        FtpServerFixture server({.throttle = 256 * 1024}); // the uploads surely overlap
        QVERIFY(server.start(remote.path()));
        TransferQueue queue;
        queue.setParallel(4);
        std::mutex lock;
        QHash<QString, int> writing;
        int running = 0;
        int mostRunning = 0;
        int sameTarget = 0;
        const auto ledger = std::make_shared<TransferLedger>();
        QueueProcessor processor(
            queue, {[] { return std::make_unique<SessionRunner>(makeSession); },
                    [&, ledger] {
                        return [&, job = ItemTransfer::makeJob(ledger)](JobContext& context, const TransferItem& it,
                                                                        const ConnectionSettings& settings) {
                            {
                                std::lock_guard guard(lock);
                                sameTarget += writing[it.remotePath]++ > 0 ? 1 : 0;
                                mostRunning = std::max(mostRunning, ++running);
                            }
                            ItemOutcome outcome = job(context, it, settings);
                            std::lock_guard guard(lock);
                            --writing[it.remotePath];
                            --running;
                            return outcome;
                        };
                    }});
        QList<TransferItem> items;
        for (const char* name : {"a", "b"}) {
            const QString path = local.filePath(QString::fromLatin1(name));
            QVERIFY(writeFile(path, QByteArray(64 * 1024, name[0])));
            items.append(item(TransferDirection::Upload, qPrintable(path), qPrintable(QLatin1Char('/') + QLatin1String(name))));
            items.last().server = settingsOf(server);
        }
        QSignalSpy idle(&processor, &QueueProcessor::idle);
        for (int times = 0; times < 3; ++times)
            processor.add(items, FtpServerFixture::password());
        QVERIFY(idle.wait(jobTimeout));

        QCOMPARE(states(queue), QStringLiteral("dddddd"));
        QCOMPARE(sameTarget, 0);
        QVERIFY(mostRunning > 1);
        QCOMPARE(readFile(remote.filePath(QStringLiteral("b"))), QByteArray(64 * 1024, 'b'));
    }

    // A certificate that nothing vouches for, met by three workers at once: the workers never ask,
    // the queue asks once on the GUI side, and the answer lets every worker go on.
    void certificateIsAskedOnceOnTheGuiSide()
    {
        useCatalogue("deutsch");
        QTemporaryDir local;
        QTemporaryDir remote;
        VsftpdFixture server;
        QVERIFY2(server.start(remote.path()), qPrintable(server.errorText()));
        TransferQueue queue;
        queue.setParallel(3);
        const auto decisions = std::make_shared<PeerDecisions>();
        int workerQuestions = 0;
        QueueProcessor processor(queue, {[&workerQuestions, decisions] {
                                             auto worker = std::make_unique<SessionRunner>(makeSession);
                                             worker->setPeerIdentityHandler([&workerQuestions, decisions](const PeerIdentity& identity) {
                                                 ++workerQuestions; // answered from decisions, never put to the user
                                                 return decisions->decideForWorker(identity);
                                             });
                                             return std::unique_ptr<JobRunner>(std::move(worker));
                                         },
                                         [ledger = std::make_shared<TransferLedger>()] { return ItemTransfer::makeJob(ledger); }});
        QStringList asked;
        processor.setIdentityQuestion(decisions, [&asked](const PeerIdentity& identity) {
            asked.append(identity.certificate()->fingerprint());
            return TrustDecision::Once;
        });
        QList<TransferItem> items;
        for (const char* name : {"a", "b", "c"}) {
            const QString path = local.filePath(QString::fromLatin1(name));
            QVERIFY(writeFile(path, name));
            items.append(item(TransferDirection::Upload, qPrintable(path), qPrintable(QLatin1Char('/') + QLatin1String(name))));
            items.last().server.host = server.host();
            items.last().server.port = server.portText();
            items.last().server.user = QStringLiteral("anonymous");
            items.last().server.ftp = {true, FtpSettings::Encryption::Required};
        }
        QSignalSpy idle(&processor, &QueueProcessor::idle);
        processor.add(items, QStringLiteral("guest"));
        QTRY_COMPARE_WITH_TIMEOUT(states(queue), QStringLiteral("ddd"), jobTimeout);

        QCOMPARE(asked, QStringList{CertificateInfo::formatFingerprint(server.certificateSha256())});
        QVERIFY(workerQuestions >= 3);
        QCOMPARE(server.serverLog().count(QStringLiteral("\"STOR ")), 3);
    }
};

QTEST_MAIN(QueueTest)
#include "tst_queue.moc"
