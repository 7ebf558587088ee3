#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Writes a small language database for tests: a languages table and text tables, with the same
// schema as the delivered lang.db. Texts may be null (a QString() value) to store SQL NULL.
struct CatalogueBuilder {
    struct Table {
        QString name;
        QList<QPair<QString, QString>> texts;
    };
    QList<QPair<QString, QString>> languages; // column 1 (table, stored as given), column 2 (name)
    QList<Table> tables;

    // Returns false when the file could not be written.
    bool write(const QString& path) const;
};
