#include "CatalogueBuilder.h"

#include <QFile>

#include <sqlite3.h>

namespace {

bool run(sqlite3* db, const QByteArray& sql, const QList<QString>& values)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        return false;
    int column = 1;
    for (const QString& value : values) {
        if (value.isNull()) {
            sqlite3_bind_null(statement, column++);
            continue;
        }
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(statement, column++, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    const bool ok = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_finalize(statement);
    return ok;
}

QByteArray quoted(const QString& name)
{
    QByteArray utf8 = name.toUtf8();
    utf8.replace('"', "\"\"");
    return '"' + utf8 + '"';
}

} // namespace

bool CatalogueBuilder::write(const QString& path) const
{
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    bool ok = run(db, "CREATE TABLE languages (id INTEGER PRIMARY KEY, tabelle TEXT, name TEXT)", {});
    for (const auto& language : languages)
        ok = ok && run(db, "INSERT INTO languages (tabelle, name) VALUES (?, ?)", {language.first, language.second});
    for (const Table& table : tables) {
        ok = ok && run(db, "CREATE TABLE " + quoted(table.name) + " (key TEXT, inhalt TEXT)", {});
        for (const auto& text : table.texts)
            ok = ok && run(db, "INSERT INTO " + quoted(table.name) + " VALUES (?, ?)", {text.first, text.second});
    }
    sqlite3_close(db);
    return ok;
}
