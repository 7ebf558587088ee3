#include "TextCatalogue.h"

#include <sqlite3.h>

namespace {

// Table names come from the database itself; quoting keeps a strange name from changing the query.
QByteArray quoteIdentifier(const QString& name)
{
    QByteArray quoted = name.toUtf8();
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QString columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (!text)
        return {};
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

} // namespace

TextCatalogue& TextCatalogue::instance()
{
    static TextCatalogue catalogue;
    return catalogue;
}

TextCatalogue::~TextCatalogue()
{
    closeCatalogue();
}

void TextCatalogue::openCatalogue(const QString& path)
{
    std::lock_guard lock(m_mutex);
    m_answers.clear();
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    // sqlite opens lazily: a file that is not a database only fails at the first query.
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    m_db = db;
}

void TextCatalogue::closeCatalogue()
{
    std::lock_guard lock(m_mutex);
    m_answers.clear();
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
}

bool TextCatalogue::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_db != nullptr;
}

QList<TextCatalogue::Language> TextCatalogue::languages() const
{
    std::lock_guard lock(m_mutex);
    QList<Language> result;
    if (!m_db)
        return result;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT * FROM languages", -1, &statement, nullptr) != SQLITE_OK)
        return result;
    // Columns are addressed by position: 1 is the table, 2 the name shown.
    while (result.size() < maxLanguages && sqlite3_step(statement) == SQLITE_ROW) {
        if (sqlite3_column_count(statement) < 3)
            break;
        result.append({columnText(statement, 1).trimmed(), columnText(statement, 2)});
    }
    sqlite3_finalize(statement);
    return result;
}

void TextCatalogue::setChosenTable(const QString& table)
{
    std::lock_guard lock(m_mutex);
    m_answers.clear();
    m_chosenTable = table.trimmed();
}

QString TextCatalogue::chosenTable() const
{
    std::lock_guard lock(m_mutex);
    return m_chosenTable;
}

QString TextCatalogue::getText(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    if (!m_db || m_chosenTable.isEmpty())
        return missingText;
    // The file is read-only: an answer stays right until the table or the file changes.
    if (const auto known = m_answers.constFind(key); known != m_answers.cend())
        return *known;
    const QByteArray sql = "SELECT inhalt FROM " + quoteIdentifier(m_chosenTable) + " WHERE key = ?1 LIMIT 1";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        return missingText;
    const QByteArray keyUtf8 = key.toUtf8();
    sqlite3_bind_text(statement, 1, keyUtf8.constData(), static_cast<int>(keyUtf8.size()), SQLITE_TRANSIENT);
    QString text;
    if (sqlite3_step(statement) == SQLITE_ROW)
        text = columnText(statement, 0);
    sqlite3_finalize(statement);
    return *m_answers.insert(key, text.isEmpty() ? missingText : text);
}

QString withoutMnemonic(const QString& caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i; // "&&" keeps one "&"; "&x" keeps the x
        }
        plain.append(caption[i]);
    }
    return plain;
}
