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
        const auto add = [](const char* tag, const FileEntry& local, const FileEntry& remote, CompareBy by, Mark l, Mark r) {
            QTest::newRow(tag) << local << remote << by << l << r;
        };
        const auto both = CompareBy::SizeAndTime;
        const ListedTime clock = ListedTime::ServerClock;
        const ListedTime day = ListedTime::ServerDay;
        const Mark same = Mark::Identical, only = Mark::OnlyHere, newer = Mark::Newer, none = Mark::None;
        const char* ten = "2024-05-01T10:00:00";
        add("instant, within a minute", file(5, "2024-05-01T10:01:00"), file(5, ten), both, same, same);
        add("instant, a minute and more", file(5, "2024-05-01T10:01:01"), file(5, ten), both, newer, none);
        add("same time, other size", file(5, ten), file(6, "2024-05-01T09:59:30"), both, Mark::DifferentSize,
            Mark::DifferentSize);
        add("LIST clock in the server's zone", file(5, ten), file(5, "2024-05-01T12:00:00", clock), both, same, same);
        add("LIST clock is no UTC", file(5, "2024-05-01T12:00:00"), file(5, "2024-05-01T12:00:00", clock), both, newer,
            none);
        add("LIST day, the server's day", file(5, "2024-05-01T23:30:00"), file(5, "2024-05-02T00:00:00", day), both,
            same, same);
        add("LIST day, days apart", file(5, "2024-04-30T10:00:00"), file(5, "2024-05-02T00:00:00", day), both, none,
            newer);
        add("no remote time", file(5, ten), file(5), both, same, same);
        add("size only", file(5, ten), file(5, "2020-01-01T00:00:00"), CompareBy::Size, same, same);
        add("folders by name", entry(EntryKind::Folder, 0, ten), entry(EntryKind::Folder, 0), both, same, same);
        FileEntry folderLink = entry(EntryKind::Link, 9, ten);
        folderLink.attributes = FileAttribute::directory;
        add("link to a folder", entry(EntryKind::Folder, 0), folderLink, both, same, same);
        add("link of unknown kind", file(5, ten), entry(EntryKind::Link, 9, "2019-01-01T00:00:00"), both, same, same);
        add("folder and file", entry(EntryKind::Folder, 0), file(5), both, only, only);
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
        const auto named = [](FileEntry made, const char* name) {
            made.name = QString::fromLatin1(name);
            return made;
        };
        const QList<FileEntry> local{named(file(1), "a"), named(file(2), "b"), named(entry(EntryKind::Folder, 0), "sub")};
        const QList<FileEntry> remote{named(entry(EntryKind::Parent, 0), ".."), named(file(1), "a"), named(file(3), "c"),
                                      named(entry(EntryKind::Folder, 0), "sub")};
        const auto marks = FolderComparison::compareFolders(local, remote, CompareBy::SizeAndTime, serverZone);
        QCOMPARE(marks.local, (QList<Mark>{Mark::Identical, Mark::OnlyHere, Mark::Identical}));
        QCOMPARE(marks.remote, (QList<Mark>{Mark::None, Mark::Identical, Mark::OnlyHere, Mark::Identical}));
    }

    // The pair, a folder on its first side, and the counterpart ("-": none).
    void pairedFolder()
    {
        const std::array<const char*, 4> rows[]{
            {"/home/me/site/", "/var/www", "/home/me/site/a b/", "/var/www/a b"},
            {"/home/me/site/", "/var/www", "/home/me/site/", "/var/www"},
            {"/home/me/site/", "/var/www", "/home/me/", "/var"},
            {"/home/me/site/", "/var/www", "/home/me/other/x/", "/var/other/x"},
            {"/home/me/", "/pub", "/home/", "/"},
            {"/home/me/", "/pub", "/", "-"},
            {"/", "/home/me/", "/pub/docs", "/home/me/pub/docs"},
            {"/pub/doc", "/x", "/pub/docs", "/docs"}};
        for (const auto& [here, there, folder, expected] : rows)
            QCOMPARE(::pairedFolder(QString::fromUtf8(here), QString::fromUtf8(there), QString::fromUtf8(folder))
                         .value_or(QStringLiteral("-")),
                     QString::fromUtf8(expected));
    }

    // A file manager's files go up in groups by folder; local drags carry their files for other
    // programs too; server rows of another running program are refused.
    void droppable()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        QVERIFY(writeFile(folder + QStringLiteral("a.txt"), "abc") && QDir(folder).mkdir(QStringLiteral("sub")));
        QMimeData desktop;
        desktop.setUrls({QUrl::fromLocalFile(folder + QStringLiteral("a.txt")), QUrl(QStringLiteral("https://x/y")),
                         QUrl::fromLocalFile(folder + QStringLiteral("sub/")), QUrl::fromLocalFile(QStringLiteral("/etc"))});
        const DraggedRows local{folder, {{QStringLiteral("a.txt"), false, 3}, {QStringLiteral("sub"), true, 0}}};
        QCOMPARE(EntryDrag::droppable(ListSide::Remote, desktop),
                 (QList<DraggedRows>{local, {QStringLiteral("/"), {{QStringLiteral("etc"), true, 0}}}}));
        QVERIFY(EntryDrag::droppable(ListSide::Local, desktop).isEmpty());
        const std::unique_ptr<QMimeData> fromLocal(EntryDrag::mimeDataOf(ListSide::Local, local));
        QCOMPARE(EntryDrag::droppable(ListSide::Remote, *fromLocal), QList<DraggedRows>{local});
        QCOMPARE(fromLocal->urls(), desktop.urls().mid(0, 1) << QUrl::fromLocalFile(folder + QStringLiteral("sub")));
        const std::unique_ptr<QMimeData> fromServer(EntryDrag::mimeDataOf(ListSide::Remote, {QStringLiteral("/"), {{}}}));
        QByteArray foreign = fromServer->data(EntryDrag::serverRowsType);
        QVERIFY(!EntryDrag::droppable(ListSide::Local, *fromServer).isEmpty());
        foreign[7] = char(foreign[7] ^ 1); // another process's id
        fromServer->setData(EntryDrag::serverRowsType, foreign);
        QVERIFY(EntryDrag::droppable(ListSide::Local, *fromServer).isEmpty());
    }
};

QTEST_GUILESS_MAIN(PaneRulesTest)
#include "tst_panerules.moc"
