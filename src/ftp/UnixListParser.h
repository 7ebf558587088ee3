#pragma once

#include "RemoteEntry.h"

#include <QDate>
#include <QStringView>

#include <optional>

// One line of a Unix "ls -l" style LIST answer:
//   drwxr-xr-x   2 owner    group        4096 Jan 25 00:17 name
//   -rw-r--r--   1 0        0            531 Apr  8  1994 name with  blanks
//   lrwxrwxrwx   1 root     other          7 Jan 25 00:17 link -> target
//   -rw-r--r--   1 ops      ops          512 7月 14日 09:30 報告.txt
// Owner and group may be numeric, missing, several words or run into the size; the link count may
// run into an ACL mark ("drwxr-xr-x+1202"); devices show "major, minor" and ls -h sizes such as
// "12.5k" are read. Dates (UnixListDates.h): month names in English and other languages, CJK
// units, numeric shapes, or no date at all where nothing after the size looks like one. The name
// is the rest of the line after exactly one blank following the date, so leading, inner and
// trailing blanks belong to it. "." and ".." are returned as entries; the caller drops them.
// nullopt when the line does not have this shape.
std::optional<RemoteEntry> parseUnixListLine(QStringView line, const QDate& today);
