#include "UnixListParser.h"

#include "ListingFields.h"

using namespace ListingFields;

namespace {

// Type, permissions, links, owner, group (up to three words), size and a date of up to three
// words: the name starts after at most this many words.
constexpr qsizetype maxHeaderTokens = 12;
constexpr qsizetype firstDateToken = 2;
constexpr qsizetype lastDateToken = 8;
// The server's clock may be ahead of ours; a year-less date up to this far in the future still
// belongs to this year.
constexpr qint64 futureSlackDays = 1;

bool isPermissions(QStringView text)
{
    if (text.size() != 10 && text.size() != 11)
        return false;
    if (!QStringView(u"-dlbcpsD").contains(text[0]))
        return false;
    for (qsizetype i = 1; i < 10; ++i) {
        if (!QStringView(u"rwxXsStTlL-").contains(text[i]))
            return false;
    }
    // ACL and SELinux markers after the nine permission letters.
    return text.size() == 10 || QStringView(u".+@").contains(text[10]);
}

int monthFromName(QStringView text)
{
    static const char16_t* const names[] = {u"jan", u"feb", u"mar", u"apr", u"may", u"jun",
                                            u"jul", u"aug", u"sep", u"oct", u"nov", u"dec"};
    static const char16_t* const longNames[] = {u"january", u"february", u"march", u"april",
                                                u"may", u"june", u"july", u"august",
                                                u"september", u"october", u"november", u"december"};
    for (int i = 0; i < 12; ++i) {
        if (text.compare(QStringView(names[i]), Qt::CaseInsensitive) == 0
            || text.compare(QStringView(longNames[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    if (text.compare(u"sept", Qt::CaseInsensitive) == 0)
        return 9;
    return 0;
}

std::optional<int> smallNumber(QStringView text, int lowest, int highest)
{
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    const auto value = parseDecimal(text);
    if (!value || *value < lowest || *value > highest)
        return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<int> yearNumber(QStringView text)
{
    if (text.size() != 4)
        return std::nullopt;
    const auto value = parseDecimal(text);
    if (!value || *value < 1000)
        return std::nullopt;
    return static_cast<int>(*value);
}

// The most recent year in which month/day exists and lies no later than today plus the slack.
QDate placeInYear(int month, int day, const QDate& today)
{
    const QDate latest = today.addDays(futureSlackDays);
    for (int year = today.year(); year > today.year() - 8; --year) {
        const QDate candidate(year, month, day);
        if (candidate.isValid() && candidate <= latest)
            return candidate;
    }
    return {};
}

struct DateMatch {
    QDateTime when;
    qsizetype tokenCount = 0;
};

// Day and "HH:MM" or "YYYY" after the month has been found.
std::optional<DateMatch> dayAndTimeOrYear(int month, QStringView dayText, QStringView last,
                                          const QDate& today)
{
    const auto day = smallNumber(dayText, 1, 31);
    if (!day)
        return std::nullopt;
    if (const auto time = parseTimeOfDay(last)) {
        const QDate date = placeInYear(month, *day, today);
        if (!date.isValid())
            return std::nullopt;
        return DateMatch{stamp(date, *time), 3};
    }
    if (const auto year = yearNumber(last)) {
        const QDate date(*year, month, *day);
        if (!date.isValid())
            return std::nullopt;
        return DateMatch{QDateTime(date, QTime(0, 0), Qt::UTC), 3};
    }
    return std::nullopt;
}

// "2005-06-07" or "1999/10/12".
QDate isoDate(QStringView text)
{
    if (text.size() != 10 || (text[4] != QLatin1Char('-') && text[4] != QLatin1Char('/')) || text[7] != text[4])
        return {};
    const auto year = yearNumber(text.left(4));
    const auto month = smallNumber(text.mid(5, 2), 1, 12);
    const auto day = smallNumber(text.mid(8, 2), 1, 31);
    if (!year || !month || !day)
        return {};
    return QDate(*year, *month, *day);
}

// The common shapes, with a month name or an ISO date.
std::optional<DateMatch> namedDate(const QList<Token>& tokens, qsizetype at, const QDate& today)
{
    if (at + 1 >= tokens.size())
        return std::nullopt;
    if (const QDate date = isoDate(tokens[at].text); date.isValid()) {
        if (const auto time = parseTimeOfDay(tokens[at + 1].text))
            return DateMatch{stamp(date, *time), 2};
        return std::nullopt;
    }
    if (at + 2 >= tokens.size())
        return std::nullopt;
    if (const int month = monthFromName(tokens[at].text))
        return dayAndTimeOrYear(month, tokens[at + 1].text, tokens[at + 2].text, today);
    if (const int month = monthFromName(tokens[at + 1].text))
        return dayAndTimeOrYear(month, tokens[at].text, tokens[at + 2].text, today);
    return std::nullopt;
}

// Rarer all-digit shapes, tried only when no named date fits anywhere: "3 29 03:26" and
// "09-26 2000". Numeric owners and groups could pass for them, hence the second pass.
std::optional<DateMatch> numericDate(const QList<Token>& tokens, qsizetype at, const QDate& today)
{
    if (at + 1 >= tokens.size())
        return std::nullopt;
    const QStringView first = tokens[at].text;
    if (first.size() == 5 && first[2] == QLatin1Char('-')) {
        const auto month = smallNumber(first.left(2), 1, 12);
        const auto day = smallNumber(first.mid(3), 1, 31);
        const auto year = yearNumber(tokens[at + 1].text);
        if (!month || !day || !year || !QDate(*year, *month, *day).isValid())
            return std::nullopt;
        return DateMatch{QDateTime(QDate(*year, *month, *day), QTime(0, 0), Qt::UTC), 2};
    }
    if (at + 2 >= tokens.size())
        return std::nullopt;
    if (const auto month = smallNumber(first, 1, 12))
        return dayAndTimeOrYear(*month, tokens[at + 1].text, tokens[at + 2].text, today);
    return std::nullopt;
}

using DateReader = std::optional<DateMatch> (*)(const QList<Token>&, qsizetype, const QDate&);

} // namespace

std::optional<RemoteEntry> parseUnixListLine(QStringView line, const QDate& today)
{
    const QList<Token> tokens = tokenize(line, maxHeaderTokens);
    if (tokens.size() < 4 || tokens[0].start != 0 || !isPermissions(tokens[0].text))
        return std::nullopt;
    const QChar type = tokens[0].text[0];

    for (const DateReader readDate : {DateReader(namedDate), DateReader(numericDate)}) {
        for (qsizetype at = firstDateToken; at <= lastDateToken && at < tokens.size(); ++at) {
            const auto size = parseDecimal(tokens[at - 1].text);
            if (!size)
                continue;
            const auto date = readDate(tokens, at, today);
            if (!date)
                continue;
            // The name is everything after the one blank that follows the date.
            const qsizetype nameStart = tokens[at + date->tokenCount - 1].end + 1;
            if (nameStart >= line.size())
                continue;
            QStringView name = line.mid(nameStart);
            bool isDirectory = type == QLatin1Char('d');
            const bool isLink = type == QLatin1Char('l');
            QStringView target;
            if (isLink) {
                const qsizetype arrow = name.indexOf(u" -> ");
                if (arrow > 0) {
                    target = name.mid(arrow + 4);
                    // Only a target that says so can be told from a file here.
                    isDirectory = target.endsWith(QLatin1Char('/'));
                    name = name.left(arrow);
                }
            }
            // Device files show "major, minor" where the size would be.
            const bool isDevice = type == QLatin1Char('b') || type == QLatin1Char('c');
            RemoteEntry entry = makeEntry(name, isDirectory, isLink, isDevice ? 0 : *size, date->when);
            entry.permissions = tokens[0].text.toString();
            entry.linkTarget = target.toString();
            return entry;
        }
    }
    return std::nullopt;
}
