#include "CountingTypeProvider.h"
#include "EntryTypeResolver.h"
#include "RemoteRows.h"
#include "TestHelpers.h"

namespace {

RemoteEntry entry(const char* name, quint32 attributes = FileAttribute::normal, const char* linkTarget = "")
{
    RemoteEntry made;
    made.name = QString::fromUtf8(name);
    made.attributes = attributes;
    made.isDirectory = attributes == FileAttribute::directory;
    made.isLink = *linkTarget != '\0';
    made.linkTarget = QString::fromUtf8(linkTarget);
    made.permissions = made.isLink ? QStringLiteral("lrwxrwxrwx") : QString();
    return made;
}

// Each row as "name|kind|icon key|type name|link target|permissions".
QStringList rowsFor(const QList<RemoteEntry>& entries)
{
    CountingTypeProvider provider({{QStringLiteral("txt"), QStringLiteral("Textdatei")}});
    EntryTypeResolver resolver(provider, FallbackRule::Remote);
    const char* const kinds[] = {"parent", "folder", "file", "link"};
    QStringList rows;
    for (const FileEntry& row : RemoteRows::rowsOf(RemoteRows::buildListing(entries, resolver)))
        rows.append(QStringList{row.name, QLatin1String(kinds[int(row.kind)]), row.iconKey, row.typeName,
                                row.linkTarget, row.permissions}
                        .join(QLatin1Char('|')));
    return rows;
}

} // namespace

// The rules that turn a server listing into the rows of the remote list.
class RemoteRowsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsOfAListing()
    {
        QCOMPARE(rowsFor({}), strings({"..|parent|zdirectoryx|||"}));
        // "..", the folders, then the files, each group in server order. Folders are typed like
        // files, so a folder "tools.exe" takes a number of the built-in counter too; the directory
        // bit with the read-only bit is a file; a link stays a link and keeps what was listed.
        const QList<RemoteEntry> listing{entry("z.txt"),
                                         entry("b", FileAttribute::directory),
                                         entry("tools.exe", FileAttribute::directory),
                                         entry("a.TXT"),
                                         entry("locked", 17),
                                         entry("up", FileAttribute::directory, "/pub/x"),
                                         entry("l.txt", FileAttribute::normal, "/pub/l"),
                                         entry("A", FileAttribute::directory),
                                         entry("x.EXE")};
        QCOMPARE(rowsFor(listing), strings({"..|parent|zdirectoryx|||",
                                            "b|folder|zdirectoryx|B-Datei||",
                                            "tools.exe|folder|zdirectoryx|Anwendung||",
                                            "up|link|zdirectoryx|UP-Datei|/pub/x|lrwxrwxrwx",
                                            "A|folder|zdirectoryx|A-Datei||",
                                            "z.txt|file|ztxt|Textdatei||",
                                            "a.TXT|file|ztxt|Textdatei||",
                                            "locked|file|zlocked|LOCKED-Datei||",
                                            "l.txt|link|ztxt|Textdatei|/pub/l|lrwxrwxrwx",
                                            "x.EXE|file|zexe1|Anwendung||"}));
    }
};

QTEST_MAIN(RemoteRowsTest)
#include "tst_remoterows.moc"
