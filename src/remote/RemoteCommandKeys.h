#pragma once

// The texts of the commands that the menus and the pane's toolbar both offer, by catalogue key:
// the menus (main menu and context menu) write their own texts, the toolbar the pane's.
struct RemoteCommandKeys {
    const char* oneFile;     // more than one row selected
    const char* downStart;   // the download for opening starts
    const char* downOk;
    const char* downFailed;
    const char* noApp1;      // no program for the file, first and second line of the question
    const char* noApp2;
    const char* openCancel;  // the user did not choose a program
    const char* opening;     // the program is being started
    const char* openOk;
    const char* folderName;  // the prompt for a new folder's name
    const char* newFolder1;  // before and after the name of a folder being created
    const char* newFolder2;
    const char* folderOk;
    const char* folderFailed;
};

namespace RemoteKeys {

inline constexpr RemoteCommandKeys menu{
    "FRMPUSERVER_ONEFILE",   "FRMPUSERVER_STARTDOWN",  "FRMPUSERVER_DOWNOK",   "FRMPUSERVER_DOWNFAILED",
    "FRMPUSERVER_NOAPP1",    "FRMPUSERVER_NOAPP2",     "FRMPUSERVER_OPENCANCEL", "FRMPUSERVER_OPEN",
    "FRMPUSERVER_OPENOK",    "FRMPUSERVER_FOLDNAME",   "FRMPUSERVER_DIRNEW1",  "FRMPUSERVER_DIRNEW2",
    "FRMPUSERVER_DIROK",     "FRMPUSERVER_DIRFAILED",
};

inline constexpr RemoteCommandKeys pane{
    "FRMSERVER_ONLYONEFILE", "FRMSERVER_STARTDOWN", "FRMSERVER_DOWNOK",  "FRMSERVER_DOWNFAILED",
    "FRMSERVER_NOAPP1",      "FRMSERVER_NOAPP2",    "FRMSERVER_OPENCANCEL", "FRMSERVER_OPENFILE",
    "FRMSERVER_OPENOK",      "FRMSERVER_DIRNAME",   "FRMSERVER_NEWDIR1", "FRMSERVER_NEWDIR2",
    "FRMSERVER_GENOK",       "FRMSERVER_GENFAIL",
};

} // namespace RemoteKeys
