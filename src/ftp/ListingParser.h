#pragma once

#include "RemoteEntry.h"

#include <QByteArrayView>
#include <QDate>
#include <QList>

// Which command produced a listing.
enum class ListingFormat {
    List, // LIST: Unix "ls -l" lines, else DOS/IIS lines
    Mlsd, // MLSD facts
};

// Turns a whole listing into entries, in server order:
// - lines end in LF or CR LF; a line longer than maxListingLineLength is dropped (a broken or hostile
//   server must not make one name of megabytes);
// - "total N" (the block count of ls) is skipped;
// - "." and ".." (and MLSD cdir/pdir) never become entries;
// - a line no parser understands is left out (ListingBuilder counts them): named by the whole
//   line, it would be a row the user could download or delete; a line is read alone, whatever
//   its neighbours are;
// - more than ListingBuilder::maxEntries entries give none at all.
// today pins the year of dates that carry none. ListingBuilder does the same block by block.
QList<RemoteEntry> parseListing(QByteArrayView data, ListingFormat format, const QDate& today);

constexpr qsizetype maxListingLineLength = 64 * 1024;
