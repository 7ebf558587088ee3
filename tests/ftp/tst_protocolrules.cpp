#include "ConnectionSettings.h"
#include "DosListParser.h"
#include "ListingBuilder.h"
#include "ListingShapes.h"
#include "MlsdParser.h"
#include "NameCodec.h"
#include "ReplyParsers.h"
#include "UnixListParser.h"

#include <QTest>

#include <span>

namespace {

enum Kind { File, Folder, Link, FolderLink, Bad };

QDateTime utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

const QDate captureDay(2026, 12, 6);

// One listing line, its own row tag.
void row(const char* parser, const char* line, const char* name, Kind kind, qint64 size, const QDateTime& lastWrite,
         QDate today = captureDay)
{
    QTest::newRow(line) << QByteArray(parser) << QString::fromUtf8(line) << today << QString::fromUtf8(name) << int(kind)
                        << size << lastWrite;
}

void bad(const char* parser, const char* line)
{
    row(parser, line, "", Bad, 0, {});
}

// Names as a listing gave them, folders marked by a trailing "/".
QStringList names(const QList<RemoteEntry>& entries)
{
    QStringList result;
    for (const RemoteEntry& entry : entries)
        result.append(entry.name + QLatin1String(entry.isDirectory ? "/" : ""));
    return result;
}

} // namespace

// The pure rules of the wire. Listing lines as servers send them: the shapes pyftpdlib and vsftpd
// send are listed from the real servers in the session walk; here are the classic shapes collected
// by other clients' parser tests, and each bad line is one defect away from a good one. Then the
// data single replies carry, the port text, and the name codec that lets any name go back to the
// server byte for byte.
class ProtocolRulesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listingLine_data()
    {
        QTest::addColumn<QByteArray>("parser");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QDateTime>("lastWrite");
        const QDate y2005(2005, 6, 1);
        const char* u = "unix";
        row(u, "lrwxrwxrwx   1 ftp      root           10 Dec 06 20:02 linkdir -> folder one", "linkdir", Link, 10,
            utc(2026, 12, 6, 20, 2));
        // A link whose target ends in "/" leads to a folder.
        row(u, "lrwxrwxrwx   1 root     other          7 Jan 25 00:17 04-unix-std link -> usr/bin/", "04-unix-std link",
            FolderLink, 0, utc(2005, 1, 25, 0, 17), y2005);
        row(u, "-rw-r--r--   1 root     other        531 3 29 03:26 02-unix-std file", "02-unix-std file", File, 531,
            utc(2005, 3, 29, 3, 26), y2005);
        row(u, "dr-xr-xr-x   2 root                  512 Apr  8  1994 03-unix-nogroup dir", "03-unix-nogroup dir", Folder, 0,
            utc(1994, 4, 8));
        row(u, "-rw-r--r--   1 root     other        531 2005-06-07 21:22 07-unix-date file", "07-unix-date file", File, 531,
            utc(2005, 6, 7, 21, 22));
        row(u, "-rw-r--r--   1 root     other       2235 1999/10/12 17:12 slashed", "slashed", File, 2235,
            utc(1999, 10, 12, 17, 12));
        row(u, "-rw-r--r--   1 root     other        531 09-26 2000 05-unix-date file", "05-unix-date file", File, 531,
            utc(2000, 9, 26));
        row(u, "-rw-r--r--   1 group domain user 531 Jan 29 03:26 13-unix-domain file", "13-unix-domain file", File, 531,
            utc(2005, 1, 29, 3, 26), y2005);
        // Day before month, and a name that looks like a year.
        row(u, "drwxrwxrwx   1 0        0               0 29 Jul 02:27 2014 Invoices", "2014 Invoices", Folder, 0,
            utc(2014, 7, 29, 2, 27), QDate(2014, 8, 1));
        // 24:00 is the next midnight.
        row(u, "-rw-------      1  99999999 0              3 Apr   4 24:00 alternate_midnight", "alternate_midnight", File, 3,
            utc(2005, 4, 5), QDate(2005, 5, 1));
        // A time in December seen in January is last year; a day ahead is still this year (clock skew).
        row(u, "-rw-r--r-- 1 a b 10 Dec 31 23:59 late", "late", File, 10, utc(2025, 12, 31, 23, 59), QDate(2026, 1, 2));
        row(u, "-rw-r--r-- 1 a b 10 Jan 03 10:00 skew", "skew", File, 10, utc(2026, 1, 3, 10, 0), QDate(2026, 1, 2));
        // February 29 without a year goes to a leap year.
        row(u, "-rw-r--r-- 1 a b 10 Feb 29 12:00 leap", "leap", File, 10, utc(2024, 2, 29, 12, 0), QDate(2026, 3, 1));
        row(u, "crw-rw-rw- 1 root root 1, 3 Jan 1 00:00 null", "null", File, 0, utc(2026, 1, 1), QDate(2026, 6, 1));
        row(u, "-rw-r--r--+ 1 u g 5 Jan 1 2020 acl", "acl", File, 5, utc(2020, 1, 1));
        row(u, "-rw-r--r-- 1 u g 5000000000 Jan 1 2020 huge", "huge", File, 5'000'000'000, utc(2020, 1, 1));
        row(u, "-rw-r--r-- 1 u g 5 Jan 1 2020 Mar 3 2002 file", "Mar 3 2002 file", File, 5, utc(2020, 1, 1));
        row(u, "-rw-r--r-- 1 u g 5 Jan 1 2020 a -> b", "a -> b", File, 5, utc(2020, 1, 1));
        row(u, "-rw-r--r-- 1 u g 5 Jan 1 2020   ", "  ", File, 5, utc(2020, 1, 1));
        row(u, "-rw-r--r--\t1\tu\tg\t5\tJan\t1\t2020\ttabbed", "tabbed", File, 5, utc(2020, 1, 1));
        // Year-less dates of other shapes, placed as above (ListingShapes.h has the other new shapes).
        const QDateTime july = utc(2026, 7, 14, 9, 30);
        row(u, "-rw-r--r-- 1 ops ops 512 7月 14日 09:30  報告 .txt ", " 報告 .txt ", File, 512, july);
        row(u, "-rw-r--r-- 1 ops ops 512 14. Juli, 09:30 bericht.txt", "bericht.txt", File, 512, july);
        row(u, "prw-r--r-- 1 ops ops 0 07-14 09:30 fifo", "fifo", File, 0, july);
        bad(u, "-rw-r--r-- 1 ops ops 512 13月 14日 09:30 x");
        bad(u, "-rw-r--r-- 1 ops ops 512 2019.13.14 x");
        bad(u, "-rw-r--r-- 1 ops ops 12.5q Jul 14 2019 x");
        bad(u, "-rw-r--r-- 1 root sys 12,34 Jul 14 2019 x");
        bad(u, "drwxr-xr-x 3 ops ops 512 2019 x");
        bad(u, "total 1234");
        bad(u, "-rw-r--r-  1 u g 5 Jan 1 2020 x");
        bad(u, "xrw-r--r-- 1 u g 5 Jan 1 2020 x");
        bad(u, "-rw-r--r-- 1 u g 5 Jan 1 2020");
        bad(u, "-rw-r--r-- 1 u g 5 Jan 1 2020 ");
        bad(u, "-rw-r--r-- 1 u g 5 Jxn 1 2020 x");
        bad(u, "-rw-r--r-- 1 u g 5 Jan 1 25:00 x");
        bad(u, "-rw-r--r-- 1 u g 5 Jan 1 12:60 x");
        bad(u, "-rw-r--r-- 1 u g 5x Jan 1 2020 x");
        bad(u, "-rw-r--r-- 1 u g 99999999999999999999 Jan 1 2020 x");
        bad(u, " -rw-r--r-- 1 u g 5 Jan 1 2020 x");
        bad(u, "-rw-r--r-- 1 u g 5 Feb 30 2020 x");
        bad(u, "04-27-00  12:09PM       <DIR>          dir");

        const char* d = "dos";
        row(d, "04-27-00  12:09PM       <DIR>          16-dos-dateambiguous dir", "16-dos-dateambiguous dir", Folder, 0,
            utc(2000, 4, 27, 12, 9));
        row(d, "2002-09-02  19:06                9,730 19-dos-longyear file", "19-dos-longyear file", File, 9730,
            utc(2002, 9, 2, 19, 6));
        row(d, "12-31-99  12:00AM                    0 midnight.txt", "midnight.txt", File, 0, utc(1999, 12, 31, 0, 0));
        // Day first when it cannot be a month.
        row(d, "25-12-05  10:00AM                    5 xmas.txt", "xmas.txt", File, 5, utc(2005, 12, 25, 10, 0));
        row(d, "04-27-00  12:09PM       <DIR>           lead", " lead", Folder, 0, utc(2000, 4, 27, 12, 9));
        row(d, "04-27-2000  12:09PM  <DIR>  narrow", "narrow", Folder, 0, utc(2000, 4, 27, 12, 9));
        row(d, "06-05-02  03:19PM                 1052 my  file.txt", "my  file.txt", File, 1052, utc(2002, 6, 5, 15, 19));
        row(d, "06-05-02  03:19 PM   1052 f.txt", "f.txt", File, 1052, utc(2002, 6, 5, 15, 19));
        bad(d, "04-27-00  12:09XM       <DIR>          x");
        bad(d, "13-13-00  12:09PM       <DIR>          x");
        bad(d, "04-27-00  13:09PM       <DIR>          x");
        bad(d, "04-27-00  12:09PM       <DIR>");
        bad(d, "04-27-00  12:09PM                 12a4 x");
        bad(d, "04-27  12:09PM                 1204 x");
        bad(d, "-rw-r--r-- 1 u g 5 Jan 1 2020 x");

        const char* m = "mlsd";
        const QDateTime rfc = utc(2008, 11, 5, 16, 52, 15);
        row(m, "type=file;size=1234;modify=20081105165215; 72-MLSD-file", "72-MLSD-file", File, 1234, rfc);
        row(m, "type=OS.unix=slink:/foo; 76 MLSD symlink", "76 MLSD symlink", Link, 0, {});
        row(m, "type=OS.unix=slink:/usr/; lnk", "lnk", FolderLink, 0, {});
        row(m, "Type=DIR;Modify=20081105165215; caps", "caps", Folder, 0, rfc);
        row(m, "modify=20081105165215.123;type=file; frac", "frac", File, 0, rfc);
        row(m, "type=file;size=1; a; b", "a; b", File, 1, {});
        row(m, " nofacts", "nofacts", File, 0, {});
        bad(m, "type=file;size=1;\t");
        bad(m, "type=file;size=12a; x");
        bad(m, "type=file;modify=2008110516521; x");
        bad(m, "type=file;modify=20081305165215; x");
        bad(m, "typefile; x");
        bad(m, "=file; x");
        bad(m, "type=file;size=1;");
        bad(m, "type=file;size=1; ");
    }

    void listingLine()
    {
        QFETCH(QByteArray, parser);
        QFETCH(QString, line);
        QFETCH(QDate, today);
        QFETCH(int, kind);
        const std::optional<RemoteEntry> entry = parser == "unix" ? parseUnixListLine(line, today)
                                                 : parser == "dos" ? parseDosListLine(line)
                                                                   : parseMlsdLine(line);
        QCOMPARE(entry.has_value(), kind != Bad);
        if (!entry)
            return;
        QTEST(entry->name, "name");
        QCOMPARE(entry->isDirectory, kind == Folder || kind == FolderLink);
        QCOMPARE(entry->isLink, kind == Link || kind == FolderLink);
        QCOMPARE(entry->attributes, entry->isDirectory ? FileAttribute::directory : FileAttribute::normal);
        QTEST(entry->size, "size");
        QTEST(entry->lastWrite, "lastWrite");
    }

    // MLSD gives an instant; LIST the server's clock, or only its day where a year stands for the time.
    void listedTime()
    {
        const std::pair<const char*, ListedTime> unixDates[]{
            {"Jan 25 00:17", ListedTime::ServerClock}, {"2005-06-07 21:22", ListedTime::ServerClock},
            {"Jan 1 2020", ListedTime::ServerDay},     {"09-26 2000", ListedTime::ServerDay},
            {"2019年 7月 14日", ListedTime::ServerDay}, {"14.07.2019", ListedTime::ServerDay}};
        for (const auto& [date, kind] : unixDates)
            QCOMPARE(parseUnixListLine(QStringLiteral("-rw-r--r-- 1 u g 5 %1 a").arg(QString::fromUtf8(date)), captureDay)
                         ->timeKind, kind);
        QCOMPARE(parseDosListLine(u"06-05-02  03:19PM  1052 f.txt")->timeKind, ListedTime::ServerClock);
        QCOMPARE(parseMlsdLine(u"type=file;modify=20081105165215; a")->timeKind, ListedTime::Instant);
    }

    // Each line of ListingShapes.h alone gives its entry, or none.
    void shapes()
    {
        const std::pair<ListingFormat, std::span<const ListingShape>> tables[]{{ListingFormat::List, listShapes},
                                                                               {ListingFormat::Mlsd, mlsdShapes}};
        for (const auto& [format, shapes] : tables) {
            for (const ListingShape& shape : shapes) {
                QStringList entries;
                for (const RemoteEntry& entry : parseListing(shape.line, format, captureDay))
                    entries.append(shapeEntry(entry.name, entry.isLink ? "link" : entry.isDirectory ? "folder" : "file",
                                              entry.size, entry.lastWrite));
                const QString got = entries.join(QString());
                QVERIFY2(got == QString::fromUtf8(shape.entry), qPrintable(QString::fromUtf8(shape.line) + QLatin1String(" -> ") + got));
            }
        }
    }

    // Whole listings: known noise dropped, unreadable lines left out and counted, each line read
    // as it would be alone, and the same entries whether the listing arrives at once or in blocks
    // that cut lines anywhere.
    void listing_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<qsizetype>("unreadable");
        QTest::newRow("LIST") << int(ListingFormat::List)
                              << QByteArray("total 24\r\n"
                                            "drwxr-xr-x    2 102      0            4096 Dec 06 20:02 .\r\n"
                                            "drwxr-xr-x    3 0        0            4096 Dec 06 20:02 ..\r\n"
                                            "drwxr-xr-x    2 102      0            4096 Dec 06 20:02 folder one\r\n"
                                            "\r\n"
                                            "-rw-r--r--    1 102      0               2 Dec 06 20:02  lead\n"
                                            "04-27-00  12:09PM       <DIR>          dos dir\r\n"
                                            "something no parser knows\r\n"
                                            "-rw-r--r-- 1 ops ops 512 7月 14日 09:30 報告.txt\r\n"
                                            "-rw-r--r-- 1 u g 5 Jxn 1 2020 unknown month\r\n"
                                            "drwxr-xr-x 3 ops ops 512 dateless\r\n"
                                            "-rw-r--r--    1 102      0               2 Dec 06 20:02 last")
                              << QStringList{QStringLiteral("folder one/"), QStringLiteral(" lead"), QStringLiteral("dos dir/"),
                                             QStringLiteral("報告.txt"), QStringLiteral("dateless/"), QStringLiteral("last")}
                              << qsizetype(2);
        QTest::newRow("MLSD") << int(ListingFormat::Mlsd)
                              << QByteArray("type=cdir;modify=20081105165215; /pub\r\n"
                                            "type=pdir;modify=20081105165215; /\r\n"
                                            "type=dir;modify=20081105165215; sub\r\n"
                                            "-rw-r--r-- 1 u g 5 Jan 1 2020 not MLSD\r\n"
                                            "type=file;size=3;modify=20081105165215; file.txt\r\n")
                              << QStringList{QStringLiteral("sub/"), QStringLiteral("file.txt")} << qsizetype(1);
        QTest::newRow("overlong line") << int(ListingFormat::List)
                                       << "-rw-r--r-- 1 u g 5 Jan 1 2020 " + QByteArray(maxListingLineLength, 'x')
                                              + "\r\n-rw-r--r-- 1 u g 5 Jan 1 2020 short\r\n"
                                       << QStringList{QStringLiteral("short")} << qsizetype(1);
    }

    void listing()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, listing);
        const QList<RemoteEntry> entries = parseListing(listing, ListingFormat(format), captureDay);
        QTEST(::names(entries), "names");
        QList<RemoteEntry> alone;
        for (const QByteArray& line : listing.split('\n'))
            alone += parseListing(line, ListingFormat(format), captureDay);
        QCOMPARE(entries, alone);
        ListingBuilder builder(ListingFormat(format), captureDay);
        for (qsizetype at = 0; at < listing.size(); at += 7)
            QVERIFY(builder.add(QByteArrayView(listing).sliced(at, std::min<qsizetype>(7, listing.size() - at))));
        QVERIFY(builder.finish());
        QTEST(builder.unreadable(), "unreadable");
        QCOMPARE(builder.takeEntries(), entries);
    }

    void pwdReply_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // null: no path
        QTest::newRow("doubled quotes") << QStringLiteral("\"/a \"\"q\"\" b\" is cwd") << QStringLiteral("/a \"q\" b");
        QTest::newRow("quote at the end of the name") << QStringLiteral("\"/x\"\"\"") << QStringLiteral("/x\"");
        QTest::newRow("no quotes") << QStringLiteral("/home is current") << QStringLiteral("/home");
        QTest::newRow("unterminated") << QStringLiteral("\"/unterminated") << QString();
        QTest::newRow("no path") << QStringLiteral("no path here") << QString();
    }

    void pwdReply()
    {
        QFETCH(QString, text);
        QTEST(ReplyParsers::parsePwdReply(text).value_or(QString()), "expected");
    }

    void passiveReply_data()
    {
        QTest::addColumn<int>("code"); // 227: PASV, 229: EPSV
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address"); // PASV only
        QTest::addColumn<int>("port");        // 0: refused
        const QString none;
        QTest::newRow("PASV without parentheses") << 227 << QStringLiteral("Entering Passive Mode 10,0,0,5,4,1")
                                                  << QStringLiteral("10.0.0.5") << 1025;
        QTest::newRow("PASV equals sign") << 227 << QStringLiteral("Entering Passive Mode =192,168,1,1,0,21")
                                          << QStringLiteral("192.168.1.1") << 21;
        QTest::newRow("PASV number above 255") << 227 << QStringLiteral("(256,0,0,1,1,1)") << none << 0;
        QTest::newRow("PASV five numbers") << 227 << QStringLiteral("(1,2,3,4,5)") << none << 0;
        QTest::newRow("PASV port 0") << 227 << QStringLiteral("(1,2,3,4,0,0)") << none << 0;
        QTest::newRow("EPSV other delimiter") << 229 << QStringLiteral("(!!!1234!)") << none << 1234;
        QTest::newRow("EPSV mixed delimiters") << 229 << QStringLiteral("(|!|1234|)") << none << 0;
        QTest::newRow("EPSV port 0") << 229 << QStringLiteral("(|||0|)") << none << 0;
        QTest::newRow("EPSV port 65536") << 229 << QStringLiteral("(|||65536|)") << none << 0;
        QTest::newRow("EPSV letter in the port") << 229 << QStringLiteral("(|||12a4|)") << none << 0;
        QTest::newRow("EPSV closing delimiter missing") << 229 << QStringLiteral("(|||1234)") << none << 0;
        QTest::newRow("EPSV without parentheses") << 229 << QStringLiteral("|||1234|") << none << 0;
    }

    void passiveReply()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        const auto pasv = code == 227 ? ReplyParsers::parsePasvReply(text) : std::nullopt;
        const auto epsv = code == 229 ? ReplyParsers::parseEpsvReply(text) : std::nullopt;
        QTEST(pasv ? int(pasv->port) : int(epsv.value_or(0)), "port");
        QTEST(pasv ? pasv->address.toString() : QString(), "address");
    }

    void port_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 0: refused
        QTest::newRow("blanks around") << QStringLiteral(" \t21 ") << 21;
        QTest::newRow("plus sign") << QStringLiteral("+21") << 21;
        QTest::newRow("half rounds to even up") << QStringLiteral("21.5") << 22;
        QTest::newRow("half rounds to even down") << QStringLiteral("22.5") << 22;
        QTest::newRow("above half") << QStringLiteral("22.50001") << 23;
        QTest::newRow("trailing point") << QStringLiteral("21.") << 21;
        QTest::newRow("above 32767") << QStringLiteral("40000") << 40000;
        QTest::newRow("highest") << QStringLiteral("65535") << 65535;
        QTest::newRow("one above highest") << QStringLiteral("65536") << 0;
        QTest::newRow("rounds up past highest") << QStringLiteral("65535.5") << 0;
        QTest::newRow("rounds to zero") << QStringLiteral("0.5") << 0;
        QTest::newRow("rounds to one") << QStringLiteral("0.51") << 1;
        QTest::newRow("negative") << QStringLiteral("-21") << 0;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("blank inside") << QStringLiteral("2 1") << 0;
        QTest::newRow("exponent") << QStringLiteral("1e3") << 0;
        QTest::newRow("huge") << QStringLiteral("99999999999999999999999") << 0;
    }

    void port()
    {
        QFETCH(QString, text);
        QTEST(int(parsePort(text).value_or(0)), "expected");
    }

    void nameBytesRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("valid") << QStringLiteral("Grüße € 😀 plain").toUtf8();
        QTest::newRow("FF FE") << QByteArray("bad\xff\xfename");
        QTest::newRow("cut-off sequence at the end") << QByteArray("a\xc3");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf");
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80");
        QTest::newRow("escaped-surrogate look-alike") << QByteArray("\xed\xb2\x80");
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80");
        QTest::newRow("lone continuation bytes") << QByteArray("\x80\xbf");
        QTest::newRow("valid after invalid") << QByteArray("\xff\xf0\x9f\x98\x80\xff");
    }

    void nameBytesRoundTrip()
    {
        QFETCH(QByteArray, bytes);
        const QString shown = NameCodec::decode(bytes);
        QCOMPARE(NameCodec::encode(shown), bytes);
        // Valid UTF-8 shows as itself; an invalid byte as one character, and not as a letter it is not.
        if (QString::fromUtf8(bytes).toUtf8() == bytes)
            QCOMPARE(shown, QString::fromUtf8(bytes));
        else
            QVERIFY(!shown.contains(QChar(0xE9)) && !shown.contains(QChar::ReplacementCharacter));
    }
};

QTEST_GUILESS_MAIN(ProtocolRulesTest)
#include "tst_protocolrules.moc"
