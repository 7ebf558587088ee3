#pragma once

#include "RemoteEntry.h"

#include <QDateTime>
#include <QStringView>

#include <optional>

// Pieces the listing line parsers share.
namespace ListingFields {

// The entry for a parsed line; timeKind says what lastWrite is.
RemoteEntry makeEntry(QStringView name, bool isDirectory, bool isLink, qint64 size, const QDateTime& lastWrite,
                      ListedTime timeKind);

// Digits only, 64-bit, overflow refused.
std::optional<qint64> parseDecimal(QStringView digits);

struct TimeOfDay {
    QTime time;
    bool nextDay = false; // "24:00" is midnight at the end of the day
};
// H:MM, HH:MM or HH:MM:SS.
std::optional<TimeOfDay> parseTimeOfDay(QStringView text);

// A date and time read from a listing as they stand, stamped UTC without conversion.
QDateTime stamp(const QDate& date, const TimeOfDay& time);

// The blank-separated words of a line with their places, at most maxTokens of them.
struct Token {
    qsizetype start = 0;
    qsizetype end = 0; // one past the last character
    QStringView text;
};
QList<Token> tokenize(QStringView line, qsizetype maxTokens);

inline bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

} // namespace ListingFields
