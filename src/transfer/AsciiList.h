#pragma once

#include <QString>
#include <QStringList>

// The list of file extensions that AUTO uploads send as ASCII ("ascii.dat"): one entry a line,
// each line ended by CR LF. The user's own list lives in the config folder; until the user saves
// one, the list shipped with the program is read.
namespace AsciiList {

// Where the user's list is saved: the config folder + "/ascii.dat".
QString userFile();
// The list shipped with the program, beside its other data files.
QString shippedFile();

// The entries of the user's list when it exists, else of the shipped one; none when the file is
// missing or cannot be read.
QStringList load();

// The entries of a list file's text, read as delimited items: an entry ends at a line end or a
// comma, leading blanks are skipped and a pair of surrounding double quotes is removed. Empty
// entries (a blank line, ",,") are left out.
QStringList parse(const QByteArray& content);

// Writes entries to the user's list, one a line as they are; the old list is replaced only once
// the new one is complete. On failure, error (when given) says why and the old list stays.
bool save(const QStringList& entries, QString* error = nullptr);

// IsAsciiFile: true when the last extension of name (after its last dot, in its last path
// component) equals an entry, compared case-insensitively: with TXT, notes.txt and NOTES.TXT
// count, notes.txt.bak and a.txtx do not. Only the last extension says what a file is now
// (access.log.1.gz is gzip), and sending a binary file as ASCII corrupts it.
bool isAsciiFile(const QString& name, const QStringList& entries);

} // namespace AsciiList
