#pragma once

#include "FileEntry.h"

#include <QList>
#include <QString>
#include <QTimeZone>

// How a row compares with its namesake in the other pane.
enum class EntryMark : quint8 {
    None,          // not compared: "..", or the comparison is off
    OnlyHere,      // the other side has no entry of this name and kind (file or folder)
    Newer,         // changed more than a minute later than the other side's
    DifferentSize, // changed at the same time (or times are not compared), but of another size
    Identical,
};

enum class CompareBy { Size, SizeAndTime };

// The rules that mark the rows of the local and the remote list against each other. Names match
// exactly, as both sides are case-sensitive.
namespace FolderComparison {

// Two times this close are the same time: a listing may give minutes only, and clocks drift.
inline constexpr qint64 toleranceMs = 60'000;

struct Marks {
    EntryMark local = EntryMark::None;
    EntryMark remote = EntryMark::None;
};

// How a local entry and the remote one of the same name compare. A time from LIST is the server's
// wall clock: it is read in serverZone (the server is taken to keep the local time of ours unless
// told otherwise), and one that gives only the day is compared by day. A time that is missing
// leaves the size alone to decide. Folders, and links the listing shows to lead to folders, compare
// by name: their sizes and times say nothing about what they hold. A remote link whose kind the
// listing does not tell compares by name too: its size and time are the link's own.
Marks compare(const FileEntry& local, const FileEntry& remote, CompareBy by, const QTimeZone& serverZone);

struct FolderMarks {
    QList<EntryMark> local;  // one per local row
    QList<EntryMark> remote; // one per remote row; the ".." row has none
};

FolderMarks compareFolders(const QList<FileEntry>& local, const QList<FileEntry>& remote, CompareBy by,
                           const QTimeZone& serverZone);

// The word of a mark, from the text catalogue; empty for None.
QString markText(EntryMark mark);

} // namespace FolderComparison
