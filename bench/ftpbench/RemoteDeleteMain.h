#pragma once

#include <QStringList>

// ftpbench rdelete [--passive] HOST PORT USER PASS REMOTEFOLDER NAME...
// Runs the program's recursive remote delete (without its question) on the rows NAME... of
// REMOTEFOLDER (a trailing "/" marks a folder row) and prints every history line as
// COLOUR<TAB>text, with the German texts of the lang.db beside the executable. The exit status:
// 0 when everything was deleted, 1 when an item failed or no connection could be made, 2 for a
// usage error.
int runRemoteDelete(const QStringList& arguments);
