#include "UnixListDates.h"

#include <QHash>

using namespace ListingFields;

namespace UnixListDates {

namespace {

// The server's clock may be ahead of ours; a year-less date up to this far in the future still
// belongs to this year.
constexpr qint64 futureSlackDays = 1;
// Two-digit years below this are in the 2000s.
constexpr int twoDigitYearPivot = 70;

// A date without a time of day: only the day is known.
DateMatch dayOnly(const QDate& date, qsizetype tokenCount)
{
    return DateMatch{QDateTime(date, QTime(0, 0), Qt::UTC), tokenCount, true};
}

int englishMonth(QStringView text)
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

// Month names as ls prints them in the languages of the servers we meet: English, German,
// Hungarian, French, Spanish, Italian, Dutch, Portuguese and the Scandinavian ones. No word
// names two different months in any of them.
const QHash<QString, int>& monthNames()
{
    static const QHash<QString, int> names = [] {
        static const char16_t* const perMonth[12] = {
            u"jan january januar jän jänner janv janvier ene enero gen gennaio januari janeiro",
            u"feb february februar febr február févr février fev fevereiro febrero febbraio februari",
            u"mar march mär märz mrz márc március mars marzo mrt maart março",
            u"apr april ápr április avr avril abr abril aprile",
            u"may mai máj május mayo mag maggio mei maj",
            u"jun june juni jún június juin giu giugno junio junho",
            u"jul july juli júl július juil juillet lug luglio julio julho",
            u"aug august augusztus août ago agosto augusti",
            u"sep sept september szept szeptember septembre set settembre septiembre setembro",
            u"oct october okt oktober október octobre ott ottobre out outubro octubre",
            u"nov november novembre noviembre novembro",
            u"dec december dez dezember déc décembre dic dicembre diciembre dezembro des desember"};
        QHash<QString, int> table;
        for (int month = 0; month < 12; ++month) {
            for (const QStringView name : QStringView(perMonth[month]).split(QLatin1Char(' ')))
                table.insert(name.toString(), month + 1);
        }
        return table;
    }();
    return names;
}

bool isCjkUnit(QChar c, char16_t chinese, char16_t korean)
{
    return c == QChar(chinese) || c == QChar(korean);
}

// "Juli", "júl.", "Juli,", "7月" or "7월" -> 7; 0 when the word is none of these.
int monthWord(QStringView word)
{
    if (word.size() >= 2 && isCjkUnit(word.back(), u'月', u'월')) {
        const auto number = parseDecimal(word.chopped(1));
        return number && word.size() <= 3 && *number >= 1 && *number <= 12 ? static_cast<int>(*number) : 0;
    }
    if (word.endsWith(QLatin1Char('.')) || word.endsWith(QLatin1Char(',')))
        word.chop(1);
    if (word.isEmpty() || word.front().isDigit())
        return 0;
    return monthNames().value(word.toString().toLower(), 0);
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

// "14", "14.", "14,", "14日" or "14일".
std::optional<int> dayWord(QStringView word)
{
    if (!word.isEmpty() && (QStringView(u".,").contains(word.back()) || isCjkUnit(word.back(), u'日', u'일')))
        word.chop(1);
    return smallNumber(word, 1, 31);
}

// "2019", "2019年", "2019년" or "2019.".
std::optional<int> yearWord(QStringView word)
{
    if (!word.isEmpty() && (word.back() == QLatin1Char('.') || isCjkUnit(word.back(), u'年', u'년')))
        word.chop(1);
    return yearNumber(word);
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

QStringView wordAt(const QList<Token>& tokens, qsizetype at)
{
    return at < tokens.size() ? tokens[at].text : QStringView();
}

// A date of count words, and the time when the next word is one.
std::optional<DateMatch> withOptionalTime(const QDate& date, const QList<Token>& tokens, qsizetype next,
                                          qsizetype count)
{
    if (!date.isValid())
        return std::nullopt;
    if (const auto time = parseTimeOfDay(wordAt(tokens, next)))
        return DateMatch{stamp(date, *time), count + 1};
    return dayOnly(date, count);
}

// Day and "HH:MM" or "YYYY" after the month has been found.
std::optional<DateMatch> dayAndTimeOrYear(int month, QStringView dayText, QStringView last, const QDate& today)
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
        return dayOnly(date, 3);
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

} // namespace

std::optional<DateMatch> named(const QList<Token>& tokens, qsizetype at, const QDate& today)
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
    if (const int month = englishMonth(tokens[at].text))
        return dayAndTimeOrYear(month, tokens[at + 1].text, tokens[at + 2].text, today);
    if (const int month = englishMonth(tokens[at + 1].text))
        return dayAndTimeOrYear(month, tokens[at].text, tokens[at + 2].text, today);
    return std::nullopt;
}

std::optional<DateMatch> numeric(const QList<Token>& tokens, qsizetype at, const QDate& today)
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
        return dayOnly(QDate(*year, *month, *day), 2);
    }
    if (at + 2 >= tokens.size())
        return std::nullopt;
    if (const auto month = smallNumber(first, 1, 12))
        return dayAndTimeOrYear(*month, tokens[at + 1].text, tokens[at + 2].text, today);
    return std::nullopt;
}

std::optional<DateMatch> worded(const QList<Token>& tokens, qsizetype at, const QDate& today)
{
    // Year first, as Chinese, Japanese and Korean ls write it; maybe with a time.
    if (const auto year = yearWord(wordAt(tokens, at))) {
        const int month = monthWord(wordAt(tokens, at + 1));
        const auto day = dayWord(wordAt(tokens, at + 2));
        if (!month || !day)
            return std::nullopt;
        return withOptionalTime(QDate(*year, month, *day), tokens, at + 3, 3);
    }
    int month = monthWord(wordAt(tokens, at));
    const QStringView dayText = wordAt(tokens, month ? at + 1 : at);
    const auto day = dayWord(dayText);
    if (!month)
        month = monthWord(wordAt(tokens, at + 1));
    if (!month || !day)
        return std::nullopt;
    const QStringView last = wordAt(tokens, at + 2);
    if (const auto time = parseTimeOfDay(last)) {
        const QDate date = placeInYear(month, *day, today);
        return date.isValid() ? std::optional(DateMatch{stamp(date, *time), 3}) : std::nullopt;
    }
    const auto year = yearWord(last);
    if (!year)
        return std::nullopt;
    // "Jul 14, 2019 09:30": after a comma the year may carry a time.
    if (dayText.endsWith(QLatin1Char(',')))
        return withOptionalTime(QDate(*year, month, *day), tokens, at + 3, 3);
    const QDate date(*year, month, *day);
    return date.isValid() ? std::optional(dayOnly(date, 3)) : std::nullopt;
}

std::optional<DateMatch> compact(const QList<Token>& tokens, qsizetype at, const QDate& today)
{
    const QStringView text = wordAt(tokens, at);
    qsizetype mark = 0;
    while (mark < text.size() && !QStringView(u"-/.").contains(text[mark]))
        ++mark;
    if (mark == 0 || mark == text.size())
        return std::nullopt;
    const QChar separator = text[mark];
    const QList<QStringView> parts = text.split(separator);
    if (parts.size() == 2) {
        // "07-14 09:30": month and day, the year left out as in "Jul 14 09:30".
        const auto month = smallNumber(parts[0], 1, 12);
        const auto day = smallNumber(parts[1], 1, 31);
        const auto time = parseTimeOfDay(wordAt(tokens, at + 1));
        if (separator == QLatin1Char('.') || !month || !day || !time)
            return std::nullopt;
        const QDate date = placeInYear(*month, *day, today);
        return date.isValid() ? std::optional(DateMatch{stamp(date, *time), 2}) : std::nullopt;
    }
    if (parts.size() != 3)
        return std::nullopt;
    QDate date;
    const auto yearFirst = yearNumber(parts[0]);
    const int monthName = monthWord(parts[1]);
    const auto yearLast = yearNumber(parts[2]);
    if (yearFirst) {
        const auto month = smallNumber(parts[1], 1, 12);
        const auto day = smallNumber(parts[2], 1, 31);
        if (month && day)
            date = QDate(*yearFirst, *month, *day);
    } else if (monthName) {
        // "14-jul-19", "14-Jul-2019"
        auto year = parts[2].size() == 2 ? smallNumber(parts[2], 0, 99) : yearLast;
        if (year && parts[2].size() == 2)
            *year += *year < twoDigitYearPivot ? 2000 : 1900;
        const auto day = smallNumber(parts[0], 1, 31);
        if (year && day)
            date = QDate(*year, monthName, *day);
    } else if (yearLast) {
        const auto first = smallNumber(parts[0], 1, 31);
        const auto second = smallNumber(parts[1], 1, 31);
        if (!first || !second)
            return std::nullopt;
        // Dots are the European order; otherwise month first, unless the first cannot be a month
        // (the rule of DOS listings).
        const bool dayFirst = separator == QLatin1Char('.') || *first > 12;
        date = dayFirst ? QDate(*yearLast, *second, *first) : QDate(*yearLast, *first, *second);
    }
    return withOptionalTime(date, tokens, at + 1, 1);
}

bool looksLikeDate(QStringView word)
{
    if (monthWord(word))
        return true;
    if (!word.isEmpty() && (isCjkUnit(word.back(), u'年', u'년') || isCjkUnit(word.back(), u'日', u'일')))
        word.chop(1);
    bool digit = false;
    for (const QChar c : word) {
        if (c.unicode() >= u'0' && c.unicode() <= u'9')
            digit = true;
        else if (!QStringView(u":-/.,").contains(c))
            return false;
    }
    return digit;
}

} // namespace UnixListDates
