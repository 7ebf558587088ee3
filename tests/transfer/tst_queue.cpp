#include "QueueStore.h"
#include "TestHelpers.h"
#include "TransferQueue.h"

#include <QTemporaryDir>

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
    made.server = {QStringLiteral("ftp.example.org"), QStringLiteral("2121"), QStringLiteral("anna"), password, true};
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
                         .arg(it.reason, serverKey(it.server))
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
            queue.setRunning(ids[0]);
            TransferItem failed = *queue.item(ids[3]);
            failed.state = TransferState::Failed;
            failed.reason = QStringLiteral("550 no such file");
            queue.finish(failed);
            queue.moveUp({ids[3]}); // among the failed it is alone: it stays
            queue.moveDown({ids[1]});
            before = describe(queue.items());
        }
        QVERIFY(!filesIn(folder.path()).contains(password.toUtf8()));

        TransferQueue restarted;
        QCOMPARE(restarted.open(path), QueueStore::Opened::Read);
        // What ran waits again; the rest comes back as it was, in its order, without the password.
        before[0].replace(QStringLiteral(" 1 "), QStringLiteral(" 0 "));
        QCOMPARE(describe(restarted.items()), before);
        QCOMPARE(restarted.items().at(1).localPath, QStringLiteral("/l/up/b.txt"));
        QCOMPARE(restarted.parallel(), 7);
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
};

QTEST_MAIN(QueueTest)
#include "tst_queue.moc"
