#pragma once

#include <QString>

#include <QtGlobal>

// One selected row of a pane's list, as a transfer takes it: its name, whether it is a folder,
// and its size as the list shows it (only an estimate for the status line).
struct SelectedRow {
    QString name;
    bool isFolder = false;
    qint64 size = 0; // below 0 when not known
};
