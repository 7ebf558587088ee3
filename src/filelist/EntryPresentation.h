#pragma once

#include "FileEntry.h"

#include <QDateTime>
#include <QString>

// The pure rules that turn a file entry into the texts of its row. Both panes use them; where the
// remote list differs from the local one there are two functions.

// Which list the attribute letters are for; each orders the letters its own way.
enum class AttributeOrder {
    Local,       // the local pane's own listing: T R H S N D C A
    Remote,      // the remote pane: T R H S D N C A
    AfterDelete, // the listing after a local delete: T R H D S N C A
    Command,     // the listings of the local context-menu commands: T R H S N C A, never D
};

// How names compare when a listing is sorted.
enum class CompareMode {
    Text, // case-insensitive, by the user's locale (the local pane's own listing and tree)
    Code, // by character code, so "Z" sorts before "a"
};

// Everything after the last "." of name; the whole name when it has no "."; empty when it ends in ".".
QString getExtension(const QString& name);
// The icon key of a file: "z" + its lower-cased extension (Readme.TXT -> ztxt, Makefile -> zmakefile).
QString iconKeyOf(const QString& fileName);
// What follows the upper-cased part of a type name when nothing names the type: the catalogue's
// "-Datei" in German, " file" in English.
QString fallbackSuffix();
// Local type name when nothing names the type: the key's last three characters upper-cased + suffix (zhtml -> TML-Datei).
QString localFallbackTypeName(const QString& key, const QString& suffix);
// Remote type name when nothing names the type: the key without its "z" upper-cased + suffix (zhtml -> HTML-Datei).
QString remoteFallbackTypeName(const QString& key, const QString& suffix);

// Local size text: size / 1024 truncated, plus one, + " KB" (0 -> "1 KB", 1024 -> "2 KB").
QString localSizeText(qint64 size);
// Remote size text: size / 1024 rounded half to even, at least 1, + " KB" (2560 -> "2 KB", 3584 -> "4 KB").
QString remoteSizeText(qint64 size);

// Local date text of a UTC time, "dd.MM.yyyy hh:mm:ss"; empty for an invalid time.
QString localDateText(const QDateTime& utc);
// Remote date text of a time as the server reports it, "dd.MM.yyyy hh:mm"; empty for an invalid time.
QString remoteDateText(const QDateTime& time);

// The letters of the set attribute bits in the order of the list (read-only + archive -> "RA").
QString attributeText(quint32 attributes, AttributeOrder order);

// Which side a list shows; each has its own size and date rules.
enum class ListSide { Local, Remote };

// How a list shows its entries: the side's rules, the order of the attribute letters, and the
// catalogue's word for the type column of folders.
struct RowStyle {
    ListSide side = ListSide::Local;
    AttributeOrder order = AttributeOrder::Local;
    QString folderText;
};

// The text of one column of an entry's row (name, size, type, changed, attributes). A folder
// has no size; the ".." row shows only its name.
enum class EntryColumn { Name, Size, Type, Changed, Attributes };
QString columnText(const FileEntry& entry, EntryColumn column, const RowStyle& style);
