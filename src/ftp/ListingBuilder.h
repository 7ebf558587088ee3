#pragma once

#include "ListingParser.h"

#include <QByteArray>
#include <QSet>

// Builds the entries of a listing from its bytes as they arrive, block by block: only an
// unfinished line waits for the next block, so a listing costs its entries and no copy of its
// text. The rules are parseListing()'s. A listing of more than maxEntries entries is refused
// rather than held: a server must not make the client hold millions of names.
class ListingBuilder
{
public:
    static constexpr qsizetype maxEntries = 1'000'000;

    ListingBuilder(ListingFormat format, const QDate& today);

    // false once the listing has more than maxEntries entries; the entries are gone then.
    bool add(QByteArrayView block);
    // The listing has ended (its last line may lack a line end); false as for add().
    bool finish();
    QList<RemoteEntry> takeEntries() { return std::move(m_entries); }
    // How many lines no parser could read (too long ones too); they are left out of the entries.
    qsizetype unreadable() const { return m_unreadable; }

private:
    bool addLine(QByteArrayView bytes);

    ListingFormat m_format;
    QDate m_today;
    QList<RemoteEntry> m_entries;
    QSet<QString> m_permissions; // the texts seen, which the entries share
    QByteArray m_unfinished;     // the start of a line whose end has not arrived
    bool m_skippingLine = false; // the rest of a line too long to be a name
    bool m_tooMany = false;
    qsizetype m_unreadable = 0;
};
