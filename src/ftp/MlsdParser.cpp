#include "MlsdParser.h"

#include "ListingFields.h"

using namespace ListingFields;

QDateTime parseMlsdTime(QStringView text)
{
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    const QStringView whole = dot < 0 ? text : text.left(dot);
    if (whole.size() != 14 || (dot >= 0 && !parseDecimal(text.mid(dot + 1))))
        return {};
    for (const QChar c : whole) {
        if (!c.isDigit() || c.unicode() > 127)
            return {};
    }
    auto field = [whole](qsizetype at, qsizetype length) { return whole.mid(at, length).toInt(); };
    const QDate date(field(0, 4), field(4, 2), field(6, 2));
    const QTime time(field(8, 2), field(10, 2), field(12, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

std::optional<RemoteEntry> parseMlsdLine(QStringView line)
{
    // The facts end at the first blank or TAB. One blank separates them from the name, which may
    // itself begin with blanks (RFC 3659, 7.2); some servers put a TAB there instead, and then
    // every blank and TAB up to the name is separator.
    qsizetype factsEnd = 0;
    while (factsEnd < line.size() && !isBlank(line[factsEnd]))
        ++factsEnd;
    qsizetype nameStart = factsEnd + 1;
    if (factsEnd < line.size() && line[factsEnd] == QLatin1Char('\t')) {
        while (nameStart < line.size() && isBlank(line[nameStart]))
            ++nameStart;
    }
    if (nameStart >= line.size())
        return std::nullopt;
    // Older drafts of the RFC leave the final ";" out.
    const QStringView facts = line.left(factsEnd);
    QStringView name = line.mid(nameStart);

    bool isDirectory = false;
    bool isLink = false;
    QStringView target;
    QStringView mode;
    QStringView perm;
    qint64 size = 0;
    QDateTime modified;
    for (const QStringView fact : facts.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype equals = fact.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return std::nullopt;
        const QStringView key = fact.left(equals);
        const QStringView value = fact.mid(equals + 1);
        if (key.compare(u"type", Qt::CaseInsensitive) == 0) {
            if (value.compare(u"dir", Qt::CaseInsensitive) == 0) {
                isDirectory = true;
            } else if (value.compare(u"cdir", Qt::CaseInsensitive) == 0) {
                isDirectory = true;
                name = u".";
            } else if (value.compare(u"pdir", Qt::CaseInsensitive) == 0) {
                isDirectory = true;
                name = u"..";
            } else if (value.startsWith(u"OS.unix=slink", Qt::CaseInsensitive)
                       || value.startsWith(u"OS.unix=symlink", Qt::CaseInsensitive)) {
                isLink = true;
                const qsizetype colon = value.indexOf(QLatin1Char(':'));
                if (colon >= 0)
                    target = value.mid(colon + 1);
                isDirectory = colon >= 0 && value.endsWith(QLatin1Char('/'));
            }
        } else if (key.compare(u"size", Qt::CaseInsensitive) == 0 || key.compare(u"sizd", Qt::CaseInsensitive) == 0) {
            // An empty size is no size: the entry is listed without one.
            const auto parsed = value.isEmpty() ? std::optional<qint64>(0) : parseDecimal(value);
            if (!parsed)
                return std::nullopt;
            size = *parsed;
        } else if (key.compare(u"UNIX.mode", Qt::CaseInsensitive) == 0) {
            mode = value;
        } else if (key.compare(u"perm", Qt::CaseInsensitive) == 0) {
            perm = value;
        } else if (key.compare(u"modify", Qt::CaseInsensitive) == 0) {
            modified = parseMlsdTime(value);
            if (!modified.isValid())
                return std::nullopt;
        }
    }
    RemoteEntry entry = makeEntry(name, isDirectory, isLink, size, modified, ListedTime::Instant);
    entry.linkTarget = target.toString();
    entry.permissions = (mode.isEmpty() ? perm : mode).toString();
    return entry;
}
