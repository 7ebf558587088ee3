#include "ListingFields.h"

#include <limits>

namespace ListingFields {

RemoteEntry makeEntry(QStringView name, bool isDirectory, bool isLink, qint64 size, const QDateTime& lastWrite,
                      ListedTime timeKind)
{
    RemoteEntry entry;
    entry.name = name.toString();
    entry.isDirectory = isDirectory;
    entry.isLink = isLink;
    entry.size = isDirectory ? 0 : size;
    entry.lastWrite = lastWrite;
    entry.timeKind = timeKind;
    entry.attributes = isDirectory ? FileAttribute::directory : FileAttribute::normal;
    return entry;
}

std::optional<qint64> parseDecimal(QStringView digits)
{
    if (digits.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : digits) {
        const char16_t unit = c.unicode();
        if (unit < u'0' || unit > u'9')
            return std::nullopt;
        const int digit = unit - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<TimeOfDay> parseTimeOfDay(QStringView text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 1 || colon > 2)
        return std::nullopt;
    const QStringView rest = text.mid(colon + 1);
    QStringView minutesText = rest;
    QStringView secondsText;
    const qsizetype secondColon = rest.indexOf(QLatin1Char(':'));
    if (secondColon >= 0) {
        minutesText = rest.left(secondColon);
        secondsText = rest.mid(secondColon + 1);
        if (secondsText.size() != 2)
            return std::nullopt;
    }
    if (minutesText.size() != 2)
        return std::nullopt;
    const auto hours = parseDecimal(text.left(colon));
    const auto minutes = parseDecimal(minutesText);
    const auto seconds = secondsText.isEmpty() ? std::optional<qint64>(0) : parseDecimal(secondsText);
    if (!hours || !minutes || !seconds || *minutes > 59 || *seconds > 59)
        return std::nullopt;
    if (*hours == 24 && *minutes == 0 && *seconds == 0)
        return TimeOfDay{QTime(0, 0), true};
    if (*hours > 23)
        return std::nullopt;
    return TimeOfDay{QTime(static_cast<int>(*hours), static_cast<int>(*minutes), static_cast<int>(*seconds)), false};
}

QDateTime stamp(const QDate& date, const TimeOfDay& time)
{
    return QDateTime(time.nextDay ? date.addDays(1) : date, time.time, Qt::UTC);
}

QList<Token> tokenize(QStringView line, qsizetype maxTokens)
{
    QList<Token> tokens;
    qsizetype at = 0;
    const qsizetype size = line.size();
    while (at < size && tokens.size() < maxTokens) {
        while (at < size && isBlank(line[at]))
            ++at;
        if (at == size)
            break;
        const qsizetype start = at;
        while (at < size && !isBlank(line[at]))
            ++at;
        tokens.append(Token{start, at, line.mid(start, at - start)});
    }
    return tokens;
}

} // namespace ListingFields
