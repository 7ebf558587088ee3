#pragma once

#include "EntryPresentation.h"
#include "FileEntry.h"

#include <QList>
#include <QStringList>

// Orders the entries of a listing before any row is made (SortEntries): folders first, then each
// group by name in the given mode. Names equal in the mode keep no particular order.
void sortEntries(QList<FileEntry>& entries, CompareMode mode);

// Orders names as sortEntries orders the names within one group (the folder tree uses it).
void sortNames(QStringList& names, CompareMode mode);
