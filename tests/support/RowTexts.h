#pragma once

#include "EntryListModel.h"

#include <QStringList>

#include <initializer_list>

// Every row of a list as the user reads it: the texts of columns joined by "|".
inline QStringList rowTexts(const EntryListModel& model, std::initializer_list<EntryListModel::Column> columns)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (const EntryListModel::Column column : columns)
            cells.append(model.text(row, column));
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}
