#pragma once

#include "RemoteEntry.h"

#include <QStringView>

#include <optional>

// One line of an MLSD answer (RFC 3659, 7.2): "fact=value;fact=value; name", the name verbatim
// after the single blank (after a TAB, the blanks and TABs that follow it go too). The final ";"
// may be missing (older drafts); an empty size= is no size; unknown facts are ignored.
// type=cdir and type=pdir come back named "." and ".." so that the caller drops them with the
// LIST ones. type=OS.unix=slink:target and OS.unix=symlink are links; a link is a folder when its
// target ends with "/". Any other malformed fact makes the line not MLSD: nullopt.
std::optional<RemoteEntry> parseMlsdLine(QStringView line);

// "20081105165215" or "20081105165215.123" (UTC) -> the time; invalid when malformed.
QDateTime parseMlsdTime(QStringView text);
