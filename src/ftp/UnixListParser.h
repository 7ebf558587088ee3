#pragma once

#include "RemoteEntry.h"

#include <QDate>
#include <QStringView>

#include <optional>

// One line of a Unix "ls -l" style LIST answer:
//   drwxr-xr-x   2 owner    group        4096 Jan 25 00:17 name
//   -rw-r--r--   1 0        0            531 Apr  8  1994 name with  blanks
//   lrwxrwxrwx   1 root     other          7 Jan 25 00:17 link -> target
// Owner and group may be numeric, missing or three words; the date is "Mon DD HH:MM",
// "Mon DD YYYY", "DD Mon HH:MM", "YYYY-MM-DD HH:MM", "M D HH:MM" or "MM-DD YYYY". The name is the
// rest of the line after exactly one blank following the date, so leading, inner and trailing
// blanks belong to it. Dates without a year are placed in the year that puts them no later than
// one day after today (the server's clock may run ahead). "." and ".." are returned as entries;
// the caller drops them. nullopt when the line does not have this shape.
std::optional<RemoteEntry> parseUnixListLine(QStringView line, const QDate& today);
