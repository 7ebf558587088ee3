#pragma once

// The main window's own commands, offered by the main menu.
enum class AppCommand {
    Exit,
    Connect,
    SiteManager,
    SaveAsSite,
    Stop,
    ProcessQueue,
    TransferAscii,
    TransferBinary,
    TransferAuto,
    PassiveOn,
    PassiveOff,
    AsciiList,
    Homepage,
    About,
    CompareFolders,
    HideIdentical,
    CompareBySize,
    CompareBySizeAndTime,
    SyncBrowsing,
};
