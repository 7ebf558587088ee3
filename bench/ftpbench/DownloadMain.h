#pragma once

#include <QStringList>

// ftpbench download [--passive] [--tls off|auto|require] [--trust SHA256]
//                   HOST PORT USER PASS REMOTEFOLDER TARGETDIR NAME...
// Runs the program's download on the rows NAME... of REMOTEFOLDER (a trailing "/" marks a folder
// row) into TARGETDIR and prints every history line as COLOUR<TAB>text, with the German texts of
// the lang.db beside the executable. The exit status: 0 when everything arrived, 1 when an item
// failed or no connection could be made, 2 for a usage error.
int runDownload(const QStringList& arguments);
