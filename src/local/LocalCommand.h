#pragma once

// The commands on the local pane's entries. The context menu, the main menu and the pane's
// toolbar share them where they do the same; where a place has its own variant (the context
// menu's upload and refresh, the toolbar's new folder, the main menu's rename) it is a command of
// its own. LocalActions holds one QAction per command.
enum class LocalCommand {
    Upload,          // the selection into the server's folder (main menu, toolbar)
    UploadFromMenu,  // the same with the context menu's own history lines
    UploadAs,        // one file under a new name
    Open,            // with the registered program
    OpenWith,        // with a program the user chooses
    Rename,          // the context menu's: lists in code order, no folder letter
    MainMenuRename,  // the same, ending with the pane's own listing
    Delete,          // every place: the tree is rebuilt and the path box cleaned afterwards
    NewFolder,       // the context menu's and the main menu's: lists in code order, no folder letter
    ToolbarNewFolder, // the same, ending with the pane's own listing
    Refresh,         // the pane's own listing (main menu, toolbar, F5)
    RefreshFromMenu, // the context menu's listing: code order, no folder letter
    Properties,
};
