#pragma once

#include "Reply.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

// Pure readers of the data that single replies carry.
namespace ReplyParsers {

struct PassiveAddress {
    QHostAddress address;
    quint16 port = 0;
};

// 257 "/a ""quoted"" dir" is current directory -> /a "quoted" dir
std::optional<QString> parsePwdReply(const QString& text);
// 227 Entering Passive Mode (h1,h2,h3,h4,p1,p2): six numbers wherever they stand; servers wrap
// them in parentheses, in nothing, or put "=" before them.
std::optional<PassiveAddress> parsePasvReply(const QString& text);
// 229 Entering Extended Passive Mode (|||port|), any delimiter character.
std::optional<quint16> parseEpsvReply(const QString& text);
// The feature lines of a 211 FEAT reply, blanks trimmed ("MLST type*;size*;", "UTF8", ...).
QStringList parseFeatures(const Reply& reply);
// A feature's keyword is offered (case-insensitive; "MLST type*;" offers MLST, not MLSD).
bool hasFeature(const QStringList& features, QStringView keyword);
// "150 Opening BINARY mode data connection for x (1234 bytes)" -> 1234.
std::optional<qint64> parseTransferSize(const QString& text);
// "550 No files found." and its relatives answer a listing of an empty folder.
bool isEmptyListingReply(const Reply& reply);
// "226 Transfer done (but failed to open directory).": vsftpd's empty listing of a folder it could
// not read, which is not an empty folder.
bool isUnopenedListingReply(const Reply& reply);

} // namespace ReplyParsers
