#include "EntryDrag.h"
#include "FolderComparison.h"
#include "PairedFolders.h"
#include "TestHelpers.h"

#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

namespace {

using Mark = EntryMark;

// An entry as a listing gives it; the time's digits stand as they are listed.
FileEntry entry(EntryKind kind, qint64 size, const char* time = "", ListedTime timeKind = ListedTime::Instant)
{
    FileEntry made;
    made.name = QStringLiteral("x");
    made.kind = kind;
    made.attributes = kind == EntryKind::Folder ? FileAttribute::directory : FileAttribute::normal;
    made.size = size;
    made.lastWrite = QDateTime::fromString(QString::fromLatin1(time) + QLatin1Char('Z'), Qt::ISODate);
    made.timeKind = timeKind;
    return made;
}

FileEntry file(qint64 size, const char* time = "", ListedTime timeKind = ListedTime::Instant)
{
    return entry(EntryKind::File, size, time, timeKind);
}

// The server's LIST clock runs two hours ahead of UTC.
const QTimeZone serverZone(2 * 3600);

} // namespace

Q_DECLARE_METATYPE(FileEntry)
Q_DECLARE_METATYPE(CompareBy)
Q_DECLARE_METATYPE(EntryMark)

// The pure rules of working across the panes: the folder comparison, the path pairing of
// synchronized browsing, and what a drop takes of a drag's data.
class PaneRulesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compare_data()
    {
        QTest::addColumn<FileEntry>("local");
        QTest::addColumn<FileEntry>("remote");
        QTest::addColumn<CompareBy>("by");
        QTest::addColumn<Mark>("localMark");
        QTest::addColumn<Mark>("remoteMark");
        const auto both = CompareBy::SizeAndTime;
        const ListedTime clock = ListedTime::ServerClock;
        const ListedTime day = ListedTime::ServerDay;
        const char* ten = "2024-05-01T10:00:00";
        QTest::newRow("instant, within a minute") << file(5, "2024-05-01T10:01:00") << file(5, ten) << both
                                                  << Mark::Identical << Mark::Identical;
        QTest::newRow("instant, a minute and more") << file(5, "2024-05-01T10:01:01") << file(5, ten) << both
                                                    << Mark::Newer << Mark::None;
        QTest::newRow("remote newer") << file(5, "2024-05-01T09:58:59") << file(7, ten) << both << Mark::None
                                      << Mark::Newer;
        QTest::newRow("same time, other size") << file(5, ten) << file(6, "2024-05-01T09:59:30") << both
                                               << Mark::DifferentSize << Mark::DifferentSize;
        QTest::newRow("LIST clock in the server's zone") << file(5, ten) << file(5, "2024-05-01T12:00:00", clock)
                                                         << both << Mark::Identical << Mark::Identical;
        QTest::newRow("LIST clock is no UTC") << file(5, "2024-05-01T12:00:00") << file(5, "2024-05-01T12:00:00", clock)
                                              << both << Mark::Newer << Mark::None;
        QTest::newRow("LIST day, the server's day") << file(5, "2024-05-01T23:30:00") << file(5, "2024-05-02T00:00:00", day)
                                                    << both << Mark::Identical << Mark::Identical;
        QTest::newRow("LIST day, days apart") << file(5, "2024-04-30T10:00:00") << file(5, "2024-05-02T00:00:00", day)
                                              << both << Mark::None << Mark::Newer;
        QTest::newRow("no remote time") << file(5, ten) << file(5) << both << Mark::Identical << Mark::Identical;
        QTest::newRow("size only") << file(5, ten) << file(5, "2020-01-01T00:00:00") << CompareBy::Size
                                   << Mark::Identical << Mark::Identical;
        QTest::newRow("size only, other size") << file(5, ten) << file(4, ten) << CompareBy::Size
                                               << Mark::DifferentSize << Mark::DifferentSize;
        QTest::newRow("folders by name") << entry(EntryKind::Folder, 0, ten) << entry(EntryKind::Folder, 0) << both
                                         << Mark::Identical << Mark::Identical;
        FileEntry folderLink = entry(EntryKind::Link, 9, ten);
        folderLink.attributes = FileAttribute::directory;
        QTest::newRow("link to a folder") << entry(EntryKind::Folder, 0) << folderLink << both << Mark::Identical
                                          << Mark::Identical;
        QTest::newRow("link of unknown kind") << file(5, ten) << entry(EntryKind::Link, 9, "2019-01-01T00:00:00")
                                              << both << Mark::Identical << Mark::Identical;
        QTest::newRow("folder and file") << entry(EntryKind::Folder, 0) << file(5) << both << Mark::OnlyHere
                                         << Mark::OnlyHere;
    }

    void compare()
    {
        QFETCH(FileEntry, local);
        QFETCH(FileEntry, remote);
        QFETCH(CompareBy, by);
        const FolderComparison::Marks marks = FolderComparison::compare(local, remote, by, serverZone);
        QTEST(marks.local, "localMark");
        QTEST(marks.remote, "remoteMark");
    }

    void compareFolders()
    {
        QList<FileEntry> local{file(1), file(2), entry(EntryKind::Folder, 0)};
        QList<FileEntry> remote{entry(EntryKind::Parent, 0), file(1), file(3), entry(EntryKind::Folder, 0)};
        for (const auto& [rows, names] : {std::pair{&local, strings({"a", "b", "sub"})},
                                          std::pair{&remote, strings({"..", "a", "c", "sub"})}}) {
            for (qsizetype i = 0; i < rows->size(); ++i)
                (*rows)[i].name = names[i];
        }
        const auto marks = FolderComparison::compareFolders(local, remote, CompareBy::SizeAndTime, serverZone);
        QCOMPARE(marks.local, (QList<Mark>{Mark::Identical, Mark::OnlyHere, Mark::Identical}));
        QCOMPARE(marks.remote, (QList<Mark>{Mark::None, Mark::Identical, Mark::OnlyHere, Mark::Identical}));
    }

    void pairedFolder_data()
    {
        QTest::addColumn<QString>("pairHere");
        QTest::addColumn<QString>("pairThere");
        QTest::addColumn<QString>("folderHere");
        QTest::addColumn<QString>("expected"); // "-": none
        const auto add = [](const char* tag, const char* here, const char* there, const char* folder, const char* expected) {
            QTest::newRow(tag) << QString::fromUtf8(here) << QString::fromUtf8(there) << QString::fromUtf8(folder)
                               << QString::fromUtf8(expected);
        };
        add("in", "/home/me/site/", "/var/www", "/home/me/site/a b/", "/var/www/a b");
        add("back", "/home/me/site/", "/var/www", "/home/me/site/", "/var/www");
        add("up", "/home/me/site/", "/var/www", "/home/me/", "/var");
        add("aside", "/home/me/site/", "/var/www", "/home/me/other/x/", "/var/other/x");
        add("to the root", "/home/me/", "/pub", "/home/", "/");
        add("above the root", "/home/me/", "/pub", "/", "-");
        add("from the server", "/", "/home/me/", "/pub/docs", "/home/me/pub/docs");
        add("prefix of a name", "/pub/doc", "/x", "/pub/docs", "/docs");
    }

    void pairedFolder()
    {
        QFETCH(QString, pairHere);
        QFETCH(QString, pairThere);
        QFETCH(QString, folderHere);
        QTEST(::pairedFolder(pairHere, pairThere, folderHere).value_or(QStringLiteral("-")), "expected");
    }

    void droppable()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("a.txt")), "abc") && QDir(dir.path()).mkdir(QStringLiteral("sub")));
        const QString folder = dir.path() + QLatin1Char('/');
        const DraggedRows local{folder, {{QStringLiteral("a.txt"), false, 3}, {QStringLiteral("sub"), true, 0}}};
        const DraggedRows server{QStringLiteral("/pub"), {{QStringLiteral("r\\xff.bin"), false, 9}}};
        const std::unique_ptr<QMimeData> fromLocal(EntryDrag::mimeDataOf(ListSide::Local, local));
        const std::unique_ptr<QMimeData> fromServer(EntryDrag::mimeDataOf(ListSide::Remote, server));
        QMimeData desktop;
        desktop.setUrls({QUrl::fromLocalFile(folder + QStringLiteral("a.txt")), QUrl(QStringLiteral("https://x/y")),
                         QUrl::fromLocalFile(folder + QStringLiteral("sub/")), QUrl::fromLocalFile(QStringLiteral("/etc"))});
        QMimeData otherInstance;
        QByteArray foreign = fromServer->data(EntryDrag::serverRowsType);
        foreign[7] = char(foreign[7] ^ 1); // another process's id
        otherInstance.setData(EntryDrag::serverRowsType, foreign);

        QCOMPARE(EntryDrag::droppable(ListSide::Remote, *fromLocal), QList<DraggedRows>{local});
        QCOMPARE(EntryDrag::droppable(ListSide::Local, *fromServer), QList<DraggedRows>{server});
        QCOMPARE(EntryDrag::droppable(ListSide::Remote, desktop),
                 (QList<DraggedRows>{local, {QStringLiteral("/"), {{QStringLiteral("etc"), true, 0}}}}));
        QCOMPARE(fromLocal->urls(), desktop.urls().mid(0, 1) << QUrl::fromLocalFile(folder + QStringLiteral("sub")));
        // Nothing goes back to its own side, nothing of the desktop's to the local side, and no
        // server rows of another running program.
        for (const auto& [side, data] : {std::pair{ListSide::Local, fromLocal.get()},
                                         std::pair{ListSide::Remote, fromServer.get()},
                                         std::pair{ListSide::Local, &desktop}, std::pair{ListSide::Local, &otherInstance}})
            QVERIFY(EntryDrag::droppable(side, *data).isEmpty());
    }
};

QTEST_GUILESS_MAIN(PaneRulesTest)
#include "tst_panerules.moc"
