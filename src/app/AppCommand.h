#pragma once

// The main window's own commands, offered by the main menu.
enum class AppCommand {
    Exit,
    Connect,
    SiteManager,
    SaveAsSite,
    Stop,
    TransferAscii,
    TransferBinary,
    TransferAuto,
    PassiveOn,
    PassiveOff,
    AsciiList,
    Homepage,
    About,
};
