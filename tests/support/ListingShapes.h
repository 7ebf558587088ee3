#pragma once

#include <QDateTime>
#include <QStringList>

// A listing line of each shape the parsers read, and its entry as "name|kind|size|date" (empty
// date: none listed; empty entry: no parser reads the line). Dates carry years: nothing depends on
// the day of the run.
struct ListingShape {
    const char* line;
    const char* entry;
};

// LIST: Unix lines (dates, headers, type letters, sizes, blanks in names of other shapes), DOS.
inline constexpr ListingShape listShapes[] = {
    {"-rw-r--r-- 1 ops ops 512 2019年 7月 14日 報告.txt", "報告.txt|file|512|2019-07-14 00:00"},
    {"-rw-r--r-- 1 ops ops 512 7月 14日 2019年 年.txt", "年.txt|file|512|2019-07-14 00:00"},
    {"-rw-r--r-- 1 ops ops 512 2019년 7월 14일 보고.txt", "보고.txt|file|512|2019-07-14 00:00"},
    {"-rw-r--r-- 1 ops ops 512 14. Juli 2019 bericht.txt", "bericht.txt|file|512|2019-07-14 00:00"},
    {"-rw-r--r-- 1 ops ops 512 júl 14 2019 jelentes.txt", "jelentes.txt|file|512|2019-07-14 00:00"},
    {"-rw-r--r-- 1 ops ops 512 14-07-2019 09:30 b", "b|file|512|2019-07-14 09:30"},
    {"-rw-r--r-- 1 ops ops 512 2019.07.14 c", "c|file|512|2019-07-14 00:00"},
    {"-rw-r--r-- 1 ops ops 512 14-jul-19 d", "d|file|512|2019-07-14 00:00"},
    {"-rw-r--r-- 1 ops ops 512 Jul 14, 2019 09:30 e", "e|file|512|2019-07-14 09:30"},
    {"drwxr-xr-x 3 ops ops 512 dateless", "dateless|folder|0|"},
    {"drwxr-xr-x+1202 ops ops 4096 Jul 14 2019 acl", "acl|folder|0|2019-07-14 00:00"},
    {"crw------- 1 root sys 12,34 Jul 14 2019 tty0", "tty0|file|0|2019-07-14 00:00"},
    {"-r-xr-xr-x longowner longgroup123456 Jul 14 2019 joined", "joined|file|123456|2019-07-14 00:00"},
    {"-rw-r--r-- 1 owner Domain Users 512 Jul 14 2019 group", "group|file|512|2019-07-14 00:00"},
    {"frw-r--r-- 1 ops ops 512 Jul 14 2019 f", "f|file|512|2019-07-14 00:00"},
    {"brw-rw---- 1 root disk 8,0 14-jul-19 sda", "sda|file|0|2019-07-14 00:00"},
    {"prw-r--r-- 1 ops ops 0 14. Juli 2019 fifo", "fifo|file|0|2019-07-14 00:00"},
    {"srwxrwxrwx 1 ops ops 0 2019.07.14 sock", "sock|file|0|2019-07-14 00:00"},
    {"-rw-r--r-- 1 ops ops 12.5k Jul 14 2019 unit", "unit|file|12800|2019-07-14 00:00"},
    {"lrwxrwxrwx 1 ops ops 4 Jul 14 2019 ln -> dir/", "ln|link|0|2019-07-14 00:00"},
    {"-rw-r--r-- 1 ops ops 512 Jul 14 2019  two  blanks ", " two  blanks |file|512|2019-07-14 00:00"},
    {"07-14-19  09:30AM       <DIR>          dos dir", "dos dir|folder|0|2019-07-14 09:30"},
    {"-rw-r--r-- 1 ops ops 512 Jxn 14 2019 unreadable", ""},
};

// MLSD: a TAB before the name, facts without the final ";", an empty size, unknown facts, links.
inline constexpr ListingShape mlsdShapes[] = {
    {"type=file;size=5;\t \tname", "name|file|5|"},
    {"type=file;x.hash=a=b;size=;modify=20190714093000 old draft", "old draft|file|0|2019-07-14 09:30"},
    {"type=OS.unix=slink:dir/;size=; slink", "slink|link|0|"},
    {"type=OS.unix=symlink;size=;   lead", "  lead|link|0|"},
    {"-rw-r--r-- 1 ops ops 512 Jul 14 2019 not MLSD", ""},
};

inline QString shapeEntry(const QString& name, const char* kind, qint64 size, const QDateTime& lastWrite)
{
    return QStringList{name, QLatin1String(kind), QString::number(size),
                       lastWrite.toString(QStringLiteral("yyyy-MM-dd HH:mm"))}
        .join(QLatin1Char('|'));
}
