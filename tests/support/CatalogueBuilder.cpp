#include "CatalogueBuilder.h"

#include <QFile>

#include <sqlite3.h>

namespace {

// A text as an SQL literal; a null text is NULL.
QByteArray literal(const QString& text)
{
    return text.isNull() ? QByteArray("NULL") : '\'' + text.toUtf8().replace('\'', "''") + '\'';
}

QByteArray quoted(const QString& name)
{
    return '"' + name.toUtf8().replace('"', "\"\"") + '"';
}

} // namespace

bool CatalogueBuilder::write(const QString& path) const
{
    QFile::remove(path);
    QByteArray sql = "CREATE TABLE languages (id INTEGER PRIMARY KEY, tabelle TEXT, name TEXT);";
    for (const auto& language : languages)
        sql += "INSERT INTO languages (tabelle, name) VALUES (" + literal(language.first) + ", "
               + literal(language.second) + ");";
    for (const Table& table : tables) {
        sql += "CREATE TABLE " + quoted(table.name) + " (key TEXT, inhalt TEXT);";
        for (const auto& text : table.texts)
            sql += "INSERT INTO " + quoted(table.name) + " VALUES (" + literal(text.first) + ", " + literal(text.second)
                   + ");";
    }
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK
                    && sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}
