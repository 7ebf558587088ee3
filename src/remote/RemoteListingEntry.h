#pragma once

#include <QList>
#include <QString>

// One entry of the server folder as the remote listing stores it: six texts, already in the
// form the rows show (RemoteListing is a list of these, rebuilt by every listing).
struct RemoteListingEntry {
    QString name;            // as the server reports it, without path
    QString sizeText;        // by the remote size rule
    QString typeName;        // built-in, provider's, or the "-Datei" fallback
    QString dateText;        // by the remote date rule, e.g. "05.03.2005 14:07"
    QString attributeNumber; // the attribute bits in decimal digits, "16" or "128"
    QString iconKey;         // the key of the entry's picture in the remote icon store

    bool operator==(const RemoteListingEntry&) const = default;
};

using RemoteListing = QList<RemoteListingEntry>;
