#pragma once

#include <QString>

// One selected row of a pane's list, as a transfer takes it: its name and whether it is a folder.
struct SelectedRow {
    QString name;
    bool isFolder = false;
};
