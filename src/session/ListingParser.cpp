#include "ListingParser.h"

#include "DosListParser.h"
#include "ListingFields.h"
#include "MlsdParser.h"
#include "NameCodec.h"
#include "UnixListParser.h"

namespace {

// ls prints the block count first; it names no entry.
bool isTotalLine(QStringView line)
{
    if (!line.startsWith(u"total ", Qt::CaseInsensitive))
        return false;
    const QStringView rest = line.mid(6).trimmed();
    return !rest.isEmpty() && ListingFields::parseDecimal(rest).has_value();
}

std::optional<RemoteEntry> parseLine(QStringView line, ListingFormat format, const QDate& today)
{
    if (format == ListingFormat::Mlsd)
        return parseMlsdLine(line);
    if (auto entry = parseUnixListLine(line, today))
        return entry;
    return parseDosListLine(line);
}

} // namespace

QList<RemoteEntry> parseListing(QByteArrayView data, ListingFormat format, const QDate& today)
{
    QList<RemoteEntry> entries;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        QByteArrayView bytes = data.sliced(start, end - start);
        start = end + 1;
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        if (bytes.isEmpty() || bytes.size() > maxListingLineLength)
            continue;
        const QString line = NameCodec::decode(bytes);
        if (line.trimmed().isEmpty())
            continue;
        if (format == ListingFormat::List && isTotalLine(line))
            continue;
        std::optional<RemoteEntry> entry = parseLine(line, format, today);
        if (!entry)
            entry = ListingFields::makeEntry(line, false, false, 0, QDateTime(), line);
        if (entry->name == QLatin1String(".") || entry->name == QLatin1String(".."))
            continue;
        entries.append(std::move(*entry));
    }
    return entries;
}
