#pragma once

// The commands on the remote pane's entries. The menus (main menu and context menu) run the
// first group; the pane's toolbar runs some of those and its own variants, which write the pane's
// own texts. RemoteActions holds one QAction per command.
enum class RemoteCommand {
    Download,   // the selection into the local pane's folder
    DownloadAs, // one file under a new name
    Open,       // download into the private folder and open with the registered program
    OpenWith,   // the same, with a program the user chooses
    Rename,
    Delete,     // the selection, folders with everything below them
    NewFolder,
    Refresh,    // list the folder again
    ToolbarOpen,      // "open" of the toolbar: Open with the pane's own texts
    ToolbarNewFolder, // "new" of the toolbar: NewFolder with the pane's own texts
    Up,               // "oben" of the toolbar: into the current row's folder, ".." goes up
};
