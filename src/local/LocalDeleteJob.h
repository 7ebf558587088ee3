#pragma once

#include "LocalWorker.h"

#include <QStringList>

// The local delete's work, run by the LocalWorker after the user has said Yes: removes each path
// in order for good (a folder with everything below it, a link as the link), writes the history
// lines of each entry and moves the progress bar over every entry of every tree. An entry that
// cannot be removed gets the red line and its error is shown; the delete goes on with the next.
// What another program removed meanwhile counts as deleted.
void deleteLocalEntries(const QStringList& paths, LocalWorker::Context& context);
