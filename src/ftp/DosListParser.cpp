#include "DosListParser.h"

#include "ListingFields.h"

using namespace ListingFields;

namespace {

// "<DIR>" stands in a column of fifteen characters; the name starts after it.
constexpr qsizetype directoryColumnPadding = 10;
// Two-digit years below this are in the 2000s.
constexpr int twoDigitYearPivot = 70;

std::optional<int> number(QStringView text)
{
    if (text.isEmpty() || text.size() > 4)
        return std::nullopt;
    const auto value = parseDecimal(text);
    if (!value)
        return std::nullopt;
    return static_cast<int>(*value);
}

bool isDateSeparator(QChar c)
{
    return c == QLatin1Char('-') || c == QLatin1Char('/') || c == QLatin1Char('.');
}

QDate parseDate(QStringView text)
{
    if (text.size() == 10 && isDateSeparator(text[4]) && text[7] == text[4]) { // YYYY-MM-DD
        const auto year = number(text.left(4));
        const auto month = number(text.mid(5, 2));
        const auto day = number(text.mid(8, 2));
        if (!year || !month || !day)
            return {};
        return QDate(*year, *month, *day);
    }
    if ((text.size() != 8 && text.size() != 10) || !isDateSeparator(text[2]) || text[5] != text[2])
        return {};
    const auto first = number(text.left(2));
    const auto second = number(text.mid(3, 2));
    const auto yearText = text.mid(6);
    auto year = number(yearText);
    if (!first || !second || !year)
        return {};
    if (yearText.size() == 2)
        *year += *year < twoDigitYearPivot ? 2000 : 1900;
    // MM-DD unless the first number cannot be a month.
    if (*first > 12)
        return QDate(*year, *second, *first);
    return QDate(*year, *first, *second);
}

// "12:09PM", "12:09 PM" (then the next word is consumed too) or "19:06".
std::optional<TimeOfDay> parseTime(QStringView text, QStringView next, bool& usedNext)
{
    usedNext = false;
    QStringView clock = text;
    QStringView meridiem;
    if (text.endsWith(u"AM", Qt::CaseInsensitive) || text.endsWith(u"PM", Qt::CaseInsensitive)) {
        clock = text.chopped(2);
        meridiem = text.right(2);
    } else if (next.compare(u"AM", Qt::CaseInsensitive) == 0 || next.compare(u"PM", Qt::CaseInsensitive) == 0) {
        meridiem = next;
        usedNext = true;
    }
    auto time = parseTimeOfDay(clock);
    if (!time || time->nextDay)
        return std::nullopt;
    if (meridiem.isEmpty())
        return time;
    int hour = time->time.hour();
    if (hour < 1 || hour > 12)
        return std::nullopt;
    const bool afternoon = meridiem.compare(u"PM", Qt::CaseInsensitive) == 0;
    hour = (hour % 12) + (afternoon ? 12 : 0);
    time->time = QTime(hour, time->time.minute(), time->time.second());
    return time;
}

// "9,730", "9.730" or "9730".
std::optional<qint64> parseSize(QStringView text)
{
    QString digits;
    digits.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char('.'))
            continue;
        digits += c;
    }
    if (text.startsWith(QLatin1Char(',')) || text.startsWith(QLatin1Char('.')))
        return std::nullopt;
    return parseDecimal(digits);
}

} // namespace

std::optional<RemoteEntry> parseDosListLine(QStringView line)
{
    const QList<Token> tokens = tokenize(line, 5);
    if (tokens.size() < 4 || tokens[0].start != 0)
        return std::nullopt;
    const QDate date = parseDate(tokens[0].text);
    if (!date.isValid())
        return std::nullopt;
    bool usedNext = false;
    const auto time = parseTime(tokens[1].text, tokens[2].text, usedNext);
    if (!time)
        return std::nullopt;
    const qsizetype sizeToken = usedNext ? 3 : 2;
    if (sizeToken >= tokens.size())
        return std::nullopt;
    const Token& field = tokens[sizeToken];
    const QDateTime when = stamp(date, *time);

    if (field.text.compare(u"<DIR>", Qt::CaseInsensitive) == 0) {
        qsizetype nameStart = field.end;
        qsizetype blanks = 0;
        while (nameStart < line.size() && isBlank(line[nameStart]) && blanks < directoryColumnPadding) {
            ++nameStart;
            ++blanks;
        }
        // Fewer blanks than the column holds: not IIS's layout, so the name is the next word on.
        if (blanks < directoryColumnPadding) {
            while (nameStart < line.size() && isBlank(line[nameStart]))
                ++nameStart;
        }
        if (nameStart >= line.size())
            return std::nullopt;
        return makeEntry(line.mid(nameStart), true, false, 0, when, ListedTime::ServerClock);
    }

    const auto size = parseSize(field.text);
    if (!size)
        return std::nullopt;
    const qsizetype nameStart = field.end + 1;
    if (nameStart >= line.size())
        return std::nullopt;
    return makeEntry(line.mid(nameStart), false, false, *size, when, ListedTime::ServerClock);
}
