#pragma once

#include "RemoteEntry.h"

#include <QStringView>

#include <optional>

// One line of a DOS / IIS style LIST answer:
//   04-27-00  12:09PM       <DIR>          folder name
//   2002-09-02  19:06                9,730 file name
// Dates are MM-DD-YY, MM-DD-YYYY (DD-MM when the first number cannot be a month) or YYYY-MM-DD;
// times are 12-hour with AM/PM or 24-hour; sizes may carry thousands separators. The name of a
// file follows its size after one blank; the name of a folder starts where IIS puts it, ten
// blanks after "<DIR>", so that names beginning with blanks keep them. nullopt when the line does
// not have this shape.
std::optional<RemoteEntry> parseDosListLine(QStringView line);
