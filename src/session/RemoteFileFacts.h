#pragma once

#include <QDateTime>

#include <optional>

// What the server says of one file at one moment: its size and its modification time, each
// left unset where the server cannot tell. A resume trusts a partial file only while both are
// known and unchanged.
struct RemoteFileFacts {
    std::optional<qint64> size;
    QDateTime modified; // UTC; invalid when unknown

    bool isKnown() const { return size.has_value() && modified.isValid(); }
    bool operator==(const RemoteFileFacts& other) const
    {
        return size == other.size && modified.toMSecsSinceEpoch() == other.modified.toMSecsSinceEpoch()
            && modified.isValid() == other.modified.isValid();
    }
};
