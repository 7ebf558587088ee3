#pragma once

#include "ListingFields.h"

#include <QDate>
#include <QDateTime>
#include <QList>

#include <optional>

// The dates of Unix "ls -l" lines. Each reader looks at the words of a line from the word at on
// and gives the time with the number of words it took, or nullopt when they are not its shape.
// Dates without a year are placed in the year that puts them no later than one day after today
// (the server's clock may run ahead); times are taken as they stand, stamped UTC.
namespace UnixListDates {

struct DateMatch {
    QDateTime when;
    qsizetype tokenCount = 0;
    bool dayOnly = false; // a date without a time of day
};
using Reader = std::optional<DateMatch> (*)(const QList<ListingFields::Token>& tokens, qsizetype at,
                                             const QDate& today);

// "Jan 25 00:17", "Apr 8 1994", "29 Jul 02:27" (English month names), "2005-06-07 21:22".
std::optional<DateMatch> named(const QList<ListingFields::Token>& tokens, qsizetype at, const QDate& today);
// "3 29 03:26" and "09-26 2000". All digits, so numeric owners and groups could pass for them.
std::optional<DateMatch> numeric(const QList<ListingFields::Token>& tokens, qsizetype at, const QDate& today);
// Dates in words as ls writes them in other languages: "7月 14日 09:30", "2019年 7月 14日",
// "2019년 7월 14일", "14. Juli 09:30", "26. Juli, 20:10", "júl 14 09:30", "Jul 14, 2019 09:30".
std::optional<DateMatch> worded(const QList<ListingFields::Token>& tokens, qsizetype at, const QDate& today);
// Dates in one word, maybe followed by a time: "07-14 09:30", "14-07-2019 09:30", "14.07.2019",
// "2019.07.14", "2019-07-14", "14-jul-19".
std::optional<DateMatch> compact(const QList<ListingFields::Token>& tokens, qsizetype at, const QDate& today);

// Whether a word could be part of a date: a month name, or digits with date punctuation. A line
// whose date cannot be read must not pass for a line without one.
bool looksLikeDate(QStringView word);

} // namespace UnixListDates
