#pragma once

#include <QtGlobal>

// What a listed modification time says. Local files, MLSD and SFTP give an instant; LIST gives
// the server's wall clock in a time zone it does not name: to the minute, or only the day for
// files that ls shows with a year instead of a time.
enum class ListedTime : quint8 {
    Instant,     // a point in time, in UTC
    ServerClock, // the server's local time, stamped UTC as it stands
    ServerDay,   // the server's local date; the time of day is unknown (00:00)
};
