#include "UnixListParser.h"

#include "ListingFields.h"
#include "UnixListDates.h"

#include <limits>

using namespace ListingFields;
using UnixListDates::DateMatch;

namespace {

// Type, permissions, links, owner, group (up to four words), size and a date of up to four
// words: the name starts after at most this many words.
constexpr qsizetype maxHeaderTokens = 13;
constexpr qsizetype firstDateToken = 2;
constexpr qsizetype lastDateToken = 8;
// Permissions, links, owner, group, size: the words before the name of a line without a date.
constexpr qsizetype datelessSizeToken = 4;

bool isPermissions(QStringView text)
{
    if (text.size() != 10 && text.size() != 11)
        return false;
    // "f" is a plain file on some systems; b, c, p, s and D are devices, pipes, sockets and doors.
    if (!QStringView(u"-fdlbcpsD").contains(text[0]))
        return false;
    for (qsizetype i = 1; i < 10; ++i) {
        if (!QStringView(u"rwxXsStTlL-").contains(text[i]))
            return false;
    }
    // ACL and SELinux markers after the nine permission letters.
    return text.size() == 10 || QStringView(u".+@").contains(text[10]);
}

// "drwxr-xr-x+1202": ls left no blank between the ACL mark and a wide link count. The link count
// becomes a word of its own.
void splitLinkCount(QList<Token>& tokens)
{
    const Token first = tokens.first();
    if (first.text.size() <= 11 || !QStringView(u".+@").contains(first.text[10])
        || !parseDecimal(first.text.mid(11)))
        return;
    tokens.first() = Token{first.start, first.start + 11, first.text.left(11)};
    tokens.insert(1, Token{first.start + 11, first.end, first.text.mid(11)});
}

bool isDevice(QChar type)
{
    return type == QLatin1Char('b') || type == QLatin1Char('c');
}

using SizeReader = std::optional<qint64> (*)(QStringView text, QChar type);

std::optional<qint64> plainSize(QStringView text, QChar)
{
    return parseDecimal(text);
}

// "12.5k", "3M", "1.2G": a size that ls -h rounded, in units of 1024.
std::optional<qint64> unitSize(QStringView text)
{
    static constexpr QStringView units = u"KMGT";
    const qsizetype unit = text.isEmpty() ? -1 : units.indexOf(text.back().toUpper());
    if (unit < 0)
        return std::nullopt;
    const QStringView number = text.chopped(1);
    const qsizetype dot = number.indexOf(QLatin1Char('.'));
    const auto whole = parseDecimal(dot < 0 ? number : number.left(dot));
    const QStringView fraction = dot < 0 ? QStringView() : number.mid(dot + 1);
    if (!whole || (dot >= 0 && (fraction.isEmpty() || fraction.size() > 3 || !parseDecimal(fraction))))
        return std::nullopt;
    const qint64 factor = qint64(1) << (10 * (unit + 1));
    if (*whole > std::numeric_limits<qint64>::max() / factor - 1)
        return std::nullopt;
    qint64 thousandths = fraction.isEmpty() ? 0 : *parseDecimal(fraction);
    for (qsizetype digits = fraction.size(); digits < 3; ++digits)
        thousandths *= 10;
    return *whole * factor + (thousandths * factor + 500) / 1000;
}

// Device numbers "12,34" stand where the size would; unit sizes as ls -h writes them.
std::optional<qint64> looseSize(QStringView text, QChar type)
{
    if (const auto size = parseDecimal(text))
        return size;
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    if (isDevice(type) && comma > 0 && parseDecimal(text.left(comma))
        && (comma + 1 == text.size() || parseDecimal(text.mid(comma + 1))))
        return 0;
    return unitSize(text);
}

// "longgroup123456": a long owner or group name ran into the size.
std::optional<qint64> joinedSize(QStringView text, QChar)
{
    qsizetype digits = text.size();
    while (digits > 0 && text[digits - 1].unicode() >= u'0' && text[digits - 1].unicode() <= u'9')
        --digits;
    if (digits == 0 || digits == text.size() || !text[digits - 1].isLetter())
        return std::nullopt;
    return parseDecimal(text.mid(digits));
}

// The readings of a line, in order: the first that fits wins. The common shapes come first, so a
// line they read keeps that reading whatever the later ones could make of it; then the other dates,
// with sizes as ls -h and devices write them; then owner or group run into the size.
struct Reading {
    SizeReader size;
    UnixListDates::Reader dates[4];
};
constexpr Reading readings[] = {
    {plainSize, {UnixListDates::named}},
    {plainSize, {UnixListDates::numeric}},
    {looseSize, {UnixListDates::named, UnixListDates::worded, UnixListDates::compact, UnixListDates::numeric}},
    {joinedSize, {UnixListDates::named, UnixListDates::worded, UnixListDates::compact, UnixListDates::numeric}},
};

// The entry of a line whose name starts at nameStart; nullopt when there is no name.
std::optional<RemoteEntry> entryOf(QStringView line, QStringView permissions, qsizetype nameStart, qint64 size,
                                   const QDateTime& when, ListedTime timeKind)
{
    if (nameStart >= line.size())
        return std::nullopt;
    const QChar type = permissions[0];
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
    RemoteEntry entry = makeEntry(name, isDirectory, isLink, isDevice(type) ? 0 : size, when, timeKind);
    entry.permissions = permissions.toString();
    entry.linkTarget = target.toString();
    return entry;
}

// "drwxr-xr-x 3 owner group 512 name", from servers that leave the date out: taken only when
// nothing after the size looks like a date that could not be read.
std::optional<RemoteEntry> datelessEntry(QStringView line, const QList<Token>& tokens)
{
    const qsizetype name = datelessSizeToken + 1;
    if (tokens.size() <= name || !parseDecimal(tokens[1].text))
        return std::nullopt;
    const auto size = parseDecimal(tokens[datelessSizeToken].text);
    if (!size || UnixListDates::looksLikeDate(tokens[name].text)
        || (name + 1 < tokens.size() && UnixListDates::looksLikeDate(tokens[name + 1].text)))
        return std::nullopt;
    return entryOf(line, tokens[0].text, tokens[datelessSizeToken].end + 1, *size, QDateTime(),
                   ListedTime::ServerClock);
}

} // namespace

std::optional<RemoteEntry> parseUnixListLine(QStringView line, const QDate& today)
{
    QList<Token> tokens = tokenize(line, maxHeaderTokens);
    if (tokens.isEmpty() || tokens[0].start != 0)
        return std::nullopt;
    splitLinkCount(tokens);
    if (tokens.size() < 4 || !isPermissions(tokens[0].text))
        return std::nullopt;
    const QChar type = tokens[0].text[0];

    for (const Reading& reading : readings) {
        for (qsizetype at = firstDateToken; at <= lastDateToken && at < tokens.size(); ++at) {
            const auto size = reading.size(tokens[at - 1].text, type);
            if (!size)
                continue;
            for (const UnixListDates::Reader readDate : reading.dates) {
                const std::optional<DateMatch> date = readDate ? readDate(tokens, at, today) : std::nullopt;
                if (!date)
                    continue;
                // The name is everything after the one blank that follows the date.
                const qsizetype nameStart = tokens[at + date->tokenCount - 1].end + 1;
                const ListedTime kind = date->dayOnly ? ListedTime::ServerDay : ListedTime::ServerClock;
                if (auto entry = entryOf(line, tokens[0].text, nameStart, *size, date->when, kind))
                    return entry;
            }
        }
    }
    return datelessEntry(line, tokens);
}
