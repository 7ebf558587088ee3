#pragma once

#include <QStringList>

// ftpbench upload [--passive] [--type ascii|binary|auto] HOST PORT USER PASS LOCALFOLDER REMOTEFOLDER NAME...
// Runs the program's upload (the main menu's variant) on the entries NAME... of LOCALFOLDER (a
// trailing "/" marks a folder) into REMOTEFOLDER and prints every history line as
// COLOUR<TAB>text, with the German texts of the lang.db beside the executable. AUTO reads the
// ASCII list as the program does. The exit status: 0 when everything arrived, 1 when an item
// failed or no connection could be made, 2 for a usage error.
int runUpload(const QStringList& arguments);
