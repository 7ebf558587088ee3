#include "DosListParser.h"
#include "ListingBuilder.h"
#include "ListingParser.h"
#include "MlsdParser.h"
#include "UnixListParser.h"

#include <QTest>

// Listing lines as servers send them. "pyftpdlib" and "vsftpd" rows were captured from those
// servers (pyftpdlib 1.5.7, vsFTPd 3.0.3) listing the same folder; the others are the classic
// shapes collected by other clients' parser tests. Each bad row is one defect away from a good one.
class ListingParsersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unixLine_data();
    void unixLine();
    void unixBadLine_data();
    void unixBadLine();
    void dosLine_data();
    void dosLine();
    void dosBadLine_data();
    void dosBadLine();
    void mlsdLine_data();
    void mlsdLine();
    void mlsdBadLine_data();
    void mlsdBadLine();
    void listingDropsNoiseAndKeepsUnknownLines();
    void listingKeepsRawBytesOfNamesThatAreNotUtf8();
    void mlsdListingDropsCurrentAndParentEntries();
    void listingDropsOverlongLines();
};

namespace {

QDateTime utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

void addColumns()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isDirectory");
    QTest::addColumn<bool>("isLink");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QDateTime>("lastWrite");
}

void checkEntry(const std::optional<RemoteEntry>& entry)
{
    QFETCH(QString, line);
    QFETCH(QString, name);
    QFETCH(bool, isDirectory);
    QFETCH(bool, isLink);
    QFETCH(qint64, size);
    QFETCH(QDateTime, lastWrite);
    QVERIFY2(entry.has_value(), qPrintable(line));
    QCOMPARE(entry->name, name);
    QCOMPARE(entry->rawName(), name.toUtf8());
    QCOMPARE(entry->isDirectory, isDirectory);
    QCOMPARE(entry->isLink, isLink);
    QCOMPARE(entry->size, size);
    QCOMPARE(entry->lastWrite, lastWrite);
    QCOMPARE(entry->attributes, isDirectory ? 16u : 128u);
}

const QDate captureDay(2026, 12, 6);

// The listing as a server sends it: in blocks that cut lines anywhere.
QList<RemoteEntry> parseInBlocks(QByteArrayView listing, qsizetype blockSize)
{
    ListingBuilder builder(ListingFormat::List, captureDay);
    for (qsizetype at = 0; at < listing.size(); at += blockSize)
        builder.add(listing.sliced(at, std::min(blockSize, listing.size() - at)));
    builder.finish();
    return builder.takeEntries();
}

QStringList names(const QList<RemoteEntry>& entries)
{
    QStringList result;
    for (const RemoteEntry& entry : entries)
        result.append(entry.name);
    return result;
}

} // namespace

void ListingParsersTest::unixLine_data()
{
    addColumns();
    const QDateTime captured = utc(2026, 12, 6, 20, 2);
    QTest::newRow("pyftpdlib file")
        << QStringLiteral("-rw-r--r--   1 ftp      root            3 Dec 06 20:02 Grüße.txt") << captureDay
        << QStringLiteral("Grüße.txt") << false << false << qint64(3) << captured;
    QTest::newRow("pyftpdlib leading blank")
        << QStringLiteral("-rw-r--r--   1 ftp      root            2 Dec 06 20:02  lead") << captureDay
        << QStringLiteral(" lead") << false << false << qint64(2) << captured;
    QTest::newRow("pyftpdlib trailing blank")
        << QStringLiteral("-rw-r--r--   1 ftp      root            2 Dec 06 20:02 trail ") << captureDay
        << QStringLiteral("trail ") << false << false << qint64(2) << captured;
    QTest::newRow("pyftpdlib inner blanks")
        << QStringLiteral("-rw-r--r--   1 ftp      root            2 Dec 06 20:02 in  ner") << captureDay
        << QStringLiteral("in  ner") << false << false << qint64(2) << captured;
    QTest::newRow("pyftpdlib folder")
        << QStringLiteral("drwxr-xr-x   2 ftp      root         4096 Dec 06 20:02 folder one") << captureDay
        << QStringLiteral("folder one") << true << false << qint64(0) << captured;
    QTest::newRow("pyftpdlib link")
        << QStringLiteral("lrwxrwxrwx   1 ftp      root           10 Dec 06 20:02 linkdir -> folder one") << captureDay
        << QStringLiteral("linkdir") << false << true << qint64(10) << captured;
    QTest::newRow("pyftpdlib year")
        << QStringLiteral("-rw-r--r--   1 ftp      root            0 Mar 04  2019 old.txt") << captureDay
        << QStringLiteral("old.txt") << false << false << qint64(0) << utc(2019, 3, 4);
    QTest::newRow("vsftpd numeric owner")
        << QStringLiteral("-rw-r--r--    1 102      0               2 Dec 06 20:02  lead") << captureDay
        << QStringLiteral(" lead") << false << false << qint64(2) << captured;
    QTest::newRow("vsftpd year")
        << QStringLiteral("-rw-r--r--    1 102      0               0 Feb 28  2026 feb.txt") << captureDay
        << QStringLiteral("feb.txt") << false << false << qint64(0) << utc(2026, 2, 28);
    QTest::newRow("vsftpd link to file")
        << QStringLiteral("lrwxrwxrwx    1 102      0               5 Dec 06 20:02 linkfile -> a.txt") << captureDay
        << QStringLiteral("linkfile") << false << true << qint64(5) << captured;
    QTest::newRow("link target naming a folder")
        << QStringLiteral("lrwxrwxrwx   1 root     other          7 Jan 25 00:17 04-unix-std link -> usr/bin/")
        << QDate(2005, 6, 1) << QStringLiteral("04-unix-std link") << true << true << qint64(0) << utc(2005, 1, 25, 0, 17);
    QTest::newRow("numeric month")
        << QStringLiteral("-rw-r--r--   1 root     other        531 3 29 03:26 02-unix-std file") << QDate(2005, 6, 1)
        << QStringLiteral("02-unix-std file") << false << false << qint64(531) << utc(2005, 3, 29, 3, 26);
    QTest::newRow("no group")
        << QStringLiteral("dr-xr-xr-x   2 root                  512 Apr  8  1994 03-unix-nogroup dir") << captureDay
        << QStringLiteral("03-unix-nogroup dir") << true << false << qint64(0) << utc(1994, 4, 8);
    QTest::newRow("ISO date")
        << QStringLiteral("-rw-r--r--   1 root     other        531 2005-06-07 21:22 07-unix-date file") << captureDay
        << QStringLiteral("07-unix-date file") << false << false << qint64(531) << utc(2005, 6, 7, 21, 22);
    QTest::newRow("slashed ISO date")
        << QStringLiteral("-rw-r--r--   1 root     other       2235 1999/10/12 17:12 slashed") << captureDay
        << QStringLiteral("slashed") << false << false << qint64(2235) << utc(1999, 10, 12, 17, 12);
    QTest::newRow("month-day and year")
        << QStringLiteral("-rw-r--r--   1 root     other        531 09-26 2000 05-unix-date file") << captureDay
        << QStringLiteral("05-unix-date file") << false << false << qint64(531) << utc(2000, 9, 26);
    QTest::newRow("three owner words")
        << QStringLiteral("-rw-r--r--   1 group domain user 531 Jan 29 03:26 13-unix-domain file") << QDate(2005, 6, 1)
        << QStringLiteral("13-unix-domain file") << false << false << qint64(531) << utc(2005, 1, 29, 3, 26);
    QTest::newRow("day before month, name like a year")
        << QStringLiteral("drwxrwxrwx   1 0        0               0 29 Jul 02:27 2014 Invoices") << QDate(2014, 8, 1)
        << QStringLiteral("2014 Invoices") << true << false << qint64(0) << utc(2014, 7, 29, 2, 27);
    QTest::newRow("24:00 is the next midnight")
        << QStringLiteral("-rw-------      1  99999999 0              3 Apr   4 24:00 alternate_midnight") << QDate(2005, 5, 1)
        << QStringLiteral("alternate_midnight") << false << false << qint64(3) << utc(2005, 4, 5);
    QTest::newRow("time in December seen in January is last year")
        << QStringLiteral("-rw-r--r-- 1 a b 10 Dec 31 23:59 late") << QDate(2026, 1, 2)
        << QStringLiteral("late") << false << false << qint64(10) << utc(2025, 12, 31, 23, 59);
    QTest::newRow("a day ahead is still this year (clock skew)")
        << QStringLiteral("-rw-r--r-- 1 a b 10 Jan 03 10:00 skew") << QDate(2026, 1, 2)
        << QStringLiteral("skew") << false << false << qint64(10) << utc(2026, 1, 3, 10, 0);
    QTest::newRow("February 29 without year goes to a leap year")
        << QStringLiteral("-rw-r--r-- 1 a b 10 Feb 29 12:00 leap") << QDate(2026, 3, 1)
        << QStringLiteral("leap") << false << false << qint64(10) << utc(2024, 2, 29, 12, 0);
    QTest::newRow("device file has no size")
        << QStringLiteral("crw-rw-rw- 1 root root 1, 3 Jan 1 00:00 null") << QDate(2026, 6, 1)
        << QStringLiteral("null") << false << false << qint64(0) << utc(2026, 1, 1);
    QTest::newRow("ACL marker")
        << QStringLiteral("-rw-r--r--+ 1 u g 5 Jan 1 2020 acl") << captureDay
        << QStringLiteral("acl") << false << false << qint64(5) << utc(2020, 1, 1);
    QTest::newRow("size beyond 4 GiB")
        << QStringLiteral("-rw-r--r-- 1 u g 5000000000 Jan 1 2020 huge") << captureDay
        << QStringLiteral("huge") << false << false << qint64(5000000000) << utc(2020, 1, 1);
    QTest::newRow("name that looks like a date")
        << QStringLiteral("-rw-r--r-- 1 u g 5 Jan 1 2020 Mar 3 2002 file") << captureDay
        << QStringLiteral("Mar 3 2002 file") << false << false << qint64(5) << utc(2020, 1, 1);
    QTest::newRow("arrow in a file name is kept")
        << QStringLiteral("-rw-r--r-- 1 u g 5 Jan 1 2020 a -> b") << captureDay
        << QStringLiteral("a -> b") << false << false << qint64(5) << utc(2020, 1, 1);
    QTest::newRow("name of blanks only")
        << QStringLiteral("-rw-r--r-- 1 u g 5 Jan 1 2020   ") << captureDay
        << QStringLiteral("  ") << false << false << qint64(5) << utc(2020, 1, 1);
    QTest::newRow("tab separators")
        << QStringLiteral("-rw-r--r--\t1\tu\tg\t5\tJan\t1\t2020\ttabbed") << captureDay
        << QStringLiteral("tabbed") << false << false << qint64(5) << utc(2020, 1, 1);
}

void ListingParsersTest::unixLine()
{
    QFETCH(QString, line);
    QFETCH(QDate, today);
    checkEntry(parseUnixListLine(line, today));
}

void ListingParsersTest::unixBadLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("total line") << QStringLiteral("total 1234");
    QTest::newRow("permissions one short") << QStringLiteral("-rw-r--r-  1 u g 5 Jan 1 2020 x");
    QTest::newRow("unknown type letter") << QStringLiteral("xrw-r--r-- 1 u g 5 Jan 1 2020 x");
    QTest::newRow("no name") << QStringLiteral("-rw-r--r-- 1 u g 5 Jan 1 2020");
    QTest::newRow("only the separator") << QStringLiteral("-rw-r--r-- 1 u g 5 Jan 1 2020 ");
    QTest::newRow("unknown month") << QStringLiteral("-rw-r--r-- 1 u g 5 Jxn 1 2020 x");
    QTest::newRow("day 32") << QStringLiteral("-rw-r--r-- 1 u g 5 Jan 32 2020 x");
    QTest::newRow("hour 25") << QStringLiteral("-rw-r--r-- 1 u g 5 Jan 1 25:00 x");
    QTest::newRow("minute 60") << QStringLiteral("-rw-r--r-- 1 u g 5 Jan 1 12:60 x");
    QTest::newRow("size with a letter") << QStringLiteral("-rw-r--r-- 1 u g 5x Jan 1 2020 x");
    QTest::newRow("size beyond 64 bits") << QStringLiteral("-rw-r--r-- 1 u g 99999999999999999999 Jan 1 2020 x");
    QTest::newRow("blank before the permissions") << QStringLiteral(" -rw-r--r-- 1 u g 5 Jan 1 2020 x");
    QTest::newRow("February 30") << QStringLiteral("-rw-r--r-- 1 u g 5 Feb 30 2020 x");
    QTest::newRow("DOS line") << QStringLiteral("04-27-00  12:09PM       <DIR>          dir");
}

void ListingParsersTest::unixBadLine()
{
    QFETCH(QString, line);
    QVERIFY(!parseUnixListLine(line, captureDay).has_value());
}

void ListingParsersTest::dosLine_data()
{
    addColumns();
    const QDate any = captureDay;
    QTest::newRow("IIS folder")
        << QStringLiteral("04-27-00  12:09PM       <DIR>          16-dos-dateambiguous dir") << any
        << QStringLiteral("16-dos-dateambiguous dir") << true << false << qint64(0) << utc(2000, 4, 27, 12, 9);
    QTest::newRow("long year, 24-hour, thousands separator")
        << QStringLiteral("2002-09-02  19:06                9,730 19-dos-longyear file") << any
        << QStringLiteral("19-dos-longyear file") << false << false << qint64(9730) << utc(2002, 9, 2, 19, 6);
    QTest::newRow("IIS morning folder")
        << QStringLiteral("01-16-02  11:14AM       <DIR>          epsgroup") << any
        << QStringLiteral("epsgroup") << true << false << qint64(0) << utc(2002, 1, 16, 11, 14);
    QTest::newRow("12 AM is midnight")
        << QStringLiteral("12-31-99  12:00AM                    0 midnight.txt") << any
        << QStringLiteral("midnight.txt") << false << false << qint64(0) << utc(1999, 12, 31, 0, 0);
    QTest::newRow("day first when it cannot be a month")
        << QStringLiteral("25-12-05  10:00AM                    5 xmas.txt") << any
        << QStringLiteral("xmas.txt") << false << false << qint64(5) << utc(2005, 12, 25, 10, 0);
    QTest::newRow("folder name with a leading blank")
        << QStringLiteral("04-27-00  12:09PM       <DIR>           lead") << any
        << QStringLiteral(" lead") << true << false << qint64(0) << utc(2000, 4, 27, 12, 9);
    QTest::newRow("four-digit year, narrow columns")
        << QStringLiteral("04-27-2000  12:09PM  <DIR>  narrow") << any
        << QStringLiteral("narrow") << true << false << qint64(0) << utc(2000, 4, 27, 12, 9);
    QTest::newRow("IIS afternoon file, name with inner blanks")
        << QStringLiteral("06-05-02  03:19PM                 1052 my  file.txt") << any
        << QStringLiteral("my  file.txt") << false << false << qint64(1052) << utc(2002, 6, 5, 15, 19);
    QTest::newRow("separate AM/PM word")
        << QStringLiteral("06-05-02  03:19 PM   1052 f.txt") << any
        << QStringLiteral("f.txt") << false << false << qint64(1052) << utc(2002, 6, 5, 15, 19);
}

void ListingParsersTest::dosLine()
{
    QFETCH(QString, line);
    checkEntry(parseDosListLine(line));
}

void ListingParsersTest::dosBadLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("unknown meridiem") << QStringLiteral("04-27-00  12:09XM       <DIR>          x");
    QTest::newRow("month 13") << QStringLiteral("13-13-00  12:09PM       <DIR>          x");
    QTest::newRow("13 PM") << QStringLiteral("04-27-00  13:09PM       <DIR>          x");
    QTest::newRow("no name") << QStringLiteral("04-27-00  12:09PM       <DIR>");
    QTest::newRow("size with a letter") << QStringLiteral("04-27-00  12:09PM                 12a4 x");
    QTest::newRow("date with one part missing") << QStringLiteral("04-27  12:09PM                 1204 x");
    QTest::newRow("Unix line") << QStringLiteral("-rw-r--r-- 1 u g 5 Jan 1 2020 x");
}

void ListingParsersTest::dosBadLine()
{
    QFETCH(QString, line);
    QVERIFY(!parseDosListLine(line).has_value());
}

void ListingParsersTest::mlsdLine_data()
{
    addColumns();
    const QDateTime captured = utc(2026, 12, 6, 20, 2, 53);
    QTest::newRow("pyftpdlib leading blank")
        << QStringLiteral("modify=20261206200253;perm=radfwMT;size=2;type=file;unique=fe00ga73ff6;  lead") << captureDay
        << QStringLiteral(" lead") << false << false << qint64(2) << captured;
    QTest::newRow("pyftpdlib trailing blank")
        << QStringLiteral("modify=20261206200253;perm=radfwMT;size=2;type=file;unique=fe00ga73ff5; trail ") << captureDay
        << QStringLiteral("trail ") << false << false << qint64(2) << captured;
    QTest::newRow("pyftpdlib folder")
        << QStringLiteral("modify=20261206200253;perm=eldfmMTcp;size=4096;type=dir;unique=fe00ga73ff7; folder one") << captureDay
        << QStringLiteral("folder one") << true << false << qint64(0) << captured;
    QTest::newRow("pyftpdlib non-ASCII")
        << QStringLiteral("modify=20261206200253;perm=radfwMT;size=3;type=file;unique=fe00ga73ff2; Grüße.txt") << captureDay
        << QStringLiteral("Grüße.txt") << false << false << qint64(3) << captured;
    QTest::newRow("RFC sample")
        << QStringLiteral("type=file;size=1234;modify=20081105165215; 72-MLSD-file") << captureDay
        << QStringLiteral("72-MLSD-file") << false << false << qint64(1234) << utc(2008, 11, 5, 16, 52, 15);
    QTest::newRow("link to a file")
        << QStringLiteral("type=OS.unix=slink:/foo; 76 MLSD symlink") << captureDay
        << QStringLiteral("76 MLSD symlink") << false << true << qint64(0) << QDateTime();
    QTest::newRow("link to a folder")
        << QStringLiteral("type=OS.unix=slink:/usr/; lnk") << captureDay
        << QStringLiteral("lnk") << true << true << qint64(0) << QDateTime();
    QTest::newRow("facts in capitals")
        << QStringLiteral("Type=DIR;Modify=20081105165215; caps") << captureDay
        << QStringLiteral("caps") << true << false << qint64(0) << utc(2008, 11, 5, 16, 52, 15);
    QTest::newRow("current folder comes back as .")
        << QStringLiteral("type=cdir;modify=20081105165215; /pub") << captureDay
        << QStringLiteral(".") << true << false << qint64(0) << utc(2008, 11, 5, 16, 52, 15);
    QTest::newRow("parent folder comes back as ..")
        << QStringLiteral("type=pdir;modify=20081105165215; ..") << captureDay
        << QStringLiteral("..") << true << false << qint64(0) << utc(2008, 11, 5, 16, 52, 15);
    QTest::newRow("fraction of seconds")
        << QStringLiteral("modify=20081105165215.123;type=file; frac") << captureDay
        << QStringLiteral("frac") << false << false << qint64(0) << utc(2008, 11, 5, 16, 52, 15);
    QTest::newRow("semicolon and blank in the name")
        << QStringLiteral("type=file;size=1; a; b") << captureDay
        << QStringLiteral("a; b") << false << false << qint64(1) << QDateTime();
    QTest::newRow("no facts")
        << QStringLiteral(" nofacts") << captureDay
        << QStringLiteral("nofacts") << false << false << qint64(0) << QDateTime();
}

void ListingParsersTest::mlsdLine()
{
    QFETCH(QString, line);
    checkEntry(parseMlsdLine(line));
}

void ListingParsersTest::mlsdBadLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("size with a letter") << QStringLiteral("type=file;size=12a; x");
    QTest::newRow("modify one digit short") << QStringLiteral("type=file;modify=2008110516521; x");
    QTest::newRow("modify month 13") << QStringLiteral("type=file;modify=20081305165215; x");
    QTest::newRow("last fact without semicolon") << QStringLiteral("type=file;size=1 x");
    QTest::newRow("fact without value sign") << QStringLiteral("typefile; x");
    QTest::newRow("fact without name") << QStringLiteral("=file; x");
    QTest::newRow("no name") << QStringLiteral("type=file;size=1;");
    QTest::newRow("no name after the blank") << QStringLiteral("type=file;size=1; ");
}

void ListingParsersTest::mlsdBadLine()
{
    QFETCH(QString, line);
    QVERIFY(!parseMlsdLine(line).has_value());
}

void ListingParsersTest::listingDropsNoiseAndKeepsUnknownLines()
{
    const QByteArray listing = "total 24\r\n"
                               "drwxr-xr-x    2 102      0            4096 Dec 06 20:02 .\r\n"
                               "drwxr-xr-x    3 0        0            4096 Dec 06 20:02 ..\r\n"
                               "drwxr-xr-x    2 102      0            4096 Dec 06 20:02 folder one\r\n"
                               "\r\n"
                               "-rw-r--r--    1 102      0               2 Dec 06 20:02  lead\n"
                               "04-27-00  12:09PM       <DIR>          dos dir\r\n"
                               "something no parser knows\r\n"
                               "-rw-r--r--    1 102      0               2 Dec 06 20:02 last";
    const QList<RemoteEntry> entries = parseListing(listing, ListingFormat::List, captureDay);
    QCOMPARE(parseInBlocks(listing, 7), entries);
    QCOMPARE(names(entries), (QStringList{QStringLiteral("folder one"), QStringLiteral(" lead"), QStringLiteral("dos dir"),
                                          QStringLiteral("something no parser knows"), QStringLiteral("last")}));
    QVERIFY(entries[0].isDirectory);
    QVERIFY(entries[2].isDirectory);
    QVERIFY(!entries[3].isDirectory);
    QVERIFY(!entries[3].lastWrite.isValid());
}

void ListingParsersTest::listingKeepsRawBytesOfNamesThatAreNotUtf8()
{
    // vsftpd, listing a file whose name holds the bytes FF FE.
    const QByteArray listing = "-rw-r--r--    1 102      0               1 Dec 06 20:02 bad\xff\xfename\r\n"
                               "-rw-r--r--    1 102      0               3 Dec 06 20:02 Gr\xc3\xbc\xc3\x9f" "e.txt\r\n";
    const QList<RemoteEntry> entries = parseListing(listing, ListingFormat::List, captureDay);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].rawName(), QByteArray("bad\xff\xfename"));
    QCOMPARE(entries[0].name.size(), 9);
    QVERIFY(entries[0].name.startsWith(QLatin1String("bad")));
    QCOMPARE(entries[1].name, QStringLiteral("Grüße.txt"));
    QCOMPARE(entries[1].rawName(), QByteArray("Gr\xc3\xbc\xc3\x9f" "e.txt"));
}

void ListingParsersTest::mlsdListingDropsCurrentAndParentEntries()
{
    const QByteArray listing = "type=cdir;modify=20081105165215; /pub\r\n"
                               "type=pdir;modify=20081105165215; /\r\n"
                               "type=dir;modify=20081105165215; sub\r\n"
                               "type=file;size=3;modify=20081105165215; file.txt\r\n";
    const QList<RemoteEntry> entries = parseListing(listing, ListingFormat::Mlsd, captureDay);
    QCOMPARE(names(entries), (QStringList{QStringLiteral("sub"), QStringLiteral("file.txt")}));
    QCOMPARE(entries[1].size, 3);
}

void ListingParsersTest::listingDropsOverlongLines()
{
    QByteArray listing = "-rw-r--r-- 1 u g 5 Jan 1 2020 ";
    listing += QByteArray(maxListingLineLength, 'x');
    listing += "\r\n-rw-r--r-- 1 u g 5 Jan 1 2020 short\r\n";
    const QList<RemoteEntry> entries = parseListing(listing, ListingFormat::List, captureDay);
    QCOMPARE(names(entries), QStringList{QStringLiteral("short")});
    QCOMPARE(parseInBlocks(listing, 1000), entries);
}

QTEST_GUILESS_MAIN(ListingParsersTest)
#include "tst_listingparsers.moc"
