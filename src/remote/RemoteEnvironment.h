#pragma once

#include "ConnectionSettings.h"
#include "HistoryColour.h"
#include "ShellServices.h"
#include "TransferItem.h"

#include <QString>

#include <functional>

// What the remote commands need from the rest of the window, as plain functions, so that the
// remote area knows nothing of the connection bar, the local pane or the history window.
struct RemoteEnvironment {
    // The connection bar's values, read when a command starts.
    std::function<ConnectionSettings()> settings;
    // The local pane's current folder, ending in "/".
    std::function<QString()> localFolder;
    // The local pane lists folder (after a download into it).
    std::function<void(const QString& folder)> showLocalFolder;
    // A line of the transfer history written on the GUI side (before any job runs).
    std::function<void(const QString& text, HistoryColour colour)> appendHistory;

    // The transfer queue, which the download's items go to.
    QueueTransfers queueTransfers = {};

    // The rest may stay empty; the commands then leave that step out.
    // The local pane lists folder in code order, upper case before lower case (after a
    // download-as into it).
    std::function<void(const QString& folder)> listLocalFolder = {};
    // Starts the program registered for the local file at path, handing it the path.
    std::function<ShellServices::OpenResult(const QString& path)> openFile = {};
    // Lets the user choose a program for the local file at path and starts it.
    std::function<void(const QString& path)> chooseProgram = {};
    // Sends the copy at localPath to remoteName in remoteFolder by the program's upload of one
    // file (upload-as), and runs done when that has ended, told whether the server took the file.
    // Opened copies are watched only with it.
    std::function<void(const QString& localPath, const QString& remoteFolder, const QString& remoteName,
                       std::function<void(bool sent)> done)>
        uploadCopy = {};
};
