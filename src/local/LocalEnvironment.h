#pragma once

#include "ConnectionSettings.h"
#include "HistoryColour.h"
#include "UploadType.h"

#include <QString>

#include <functional>

// What the local commands need from the rest of the window, as plain functions, so that the
// local area knows nothing of the connection bar, the remote pane or the history window.
struct LocalEnvironment {
    // The connection bar's values, read when a command starts.
    std::function<ConnectionSettings()> settings;
    // The server folder the remote pane shows.
    std::function<QString()> remoteFolder;
    // The remote pane lists its folder again (after an upload into it).
    std::function<void()> refreshRemote;
    // A line of the transfer history written on the GUI side.
    std::function<void(const QString& text, HistoryColour colour)> appendHistory;
    // The transfer type chosen in the connection bar and the flag it set, read when an upload
    // starts (the ASCII list is read by the upload itself).
    std::function<UploadType()> uploadType;
};
