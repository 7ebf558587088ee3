#include "ListingBuilder.h"

#include "DosListParser.h"
#include "ListingFields.h"
#include "MlsdParser.h"
#include "NameCodec.h"
#include "UnixListParser.h"

namespace {

// How many different permission texts are shared; a server that sends more gets them kept apiece.
constexpr qsizetype maxSharedTexts = 256;

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

ListingBuilder::ListingBuilder(ListingFormat format, const QDate& today)
    : m_format(format)
    , m_today(today)
{
}

bool ListingBuilder::add(QByteArrayView block)
{
    while (!block.isEmpty() && !m_tooMany) {
        const qsizetype end = block.indexOf('\n');
        const QByteArrayView piece = end < 0 ? block : block.first(end);
        block = end < 0 ? QByteArrayView() : block.sliced(end + 1);
        if (m_skippingLine) {
            m_skippingLine = end < 0;
            continue;
        }
        if (end < 0) {
            // Kept for the next block, unless it is already too long to be a name.
            if (m_unfinished.size() + piece.size() > maxListingLineLength + 1) {
                m_unfinished.clear();
                m_skippingLine = true;
                ++m_unreadable;
            } else {
                m_unfinished.append(piece);
            }
            continue;
        }
        if (m_unfinished.isEmpty()) {
            addLine(piece);
        } else {
            m_unfinished.append(piece);
            addLine(m_unfinished);
            m_unfinished.clear();
        }
    }
    return !m_tooMany;
}

bool ListingBuilder::finish()
{
    if (!m_skippingLine && !m_unfinished.isEmpty())
        addLine(m_unfinished);
    m_unfinished.clear();
    m_skippingLine = false;
    return !m_tooMany;
}

bool ListingBuilder::addLine(QByteArrayView bytes)
{
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    if (bytes.size() > maxListingLineLength)
        ++m_unreadable;
    if (bytes.isEmpty() || bytes.size() > maxListingLineLength)
        return true;
    const QString line = NameCodec::decode(bytes);
    if (line.trimmed().isEmpty())
        return true;
    if (m_format == ListingFormat::List && isTotalLine(line))
        return true;
    std::optional<RemoteEntry> entry = parseLine(line, m_format, m_today);
    // Shown as a row, the whole line would pass for a name the user could download or delete.
    if (!entry) {
        ++m_unreadable;
        return true;
    }
    if (entry->name == QLatin1String(".") || entry->name == QLatin1String(".."))
        return true;
    // Most entries of a folder have one of a few permission texts: one copy of each will do.
    if (const auto known = m_permissions.constFind(entry->permissions); known != m_permissions.constEnd())
        entry->permissions = *known;
    else if (m_permissions.size() < maxSharedTexts)
        m_permissions.insert(entry->permissions);
    if (m_entries.size() >= maxEntries) {
        m_tooMany = true;
        m_entries = {};
        return false;
    }
    m_entries.append(std::move(*entry));
    return true;
}
