#include "ListingParser.h"

#include "ListingBuilder.h"

QList<RemoteEntry> parseListing(QByteArrayView data, ListingFormat format, const QDate& today)
{
    ListingBuilder builder(format, today);
    builder.add(data);
    builder.finish();
    return builder.takeEntries();
}
