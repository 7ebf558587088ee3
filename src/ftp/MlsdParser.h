#pragma once

#include "RemoteEntry.h"

#include <QStringView>

#include <optional>

// One line of an MLSD answer (RFC 3659, 7.2): "fact=value;fact=value; name", the name verbatim
// after the single blank. type=cdir and type=pdir come back named "." and ".." so that the caller
// drops them with the LIST ones. A link (type=OS.unix=slink:target) is a folder when its target
// ends with "/". Any malformed fact makes the line not MLSD: nullopt.
std::optional<RemoteEntry> parseMlsdLine(QStringView line);

// "20081105165215" or "20081105165215.123" (UTC) -> the time; invalid when malformed.
QDateTime parseMlsdTime(QStringView text);
