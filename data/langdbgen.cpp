// Builds lang.db from the text sources: languages.txt names the text tables, <table>.txt holds
// "KEY<TAB>text" lines of one language, keys.txt the keys every language must define.
// In texts, "\n" stands for a line break, "\t" for a TAB and "\\" for a backslash.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Language {
    long long id = 0;
    std::string table;
    std::string displayName;
};

std::vector<std::string> splitTabs(const std::string& line, std::size_t maxFields)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (fields.size() + 1 < maxFields) {
        const auto tab = line.find('\t', start);
        if (tab == std::string::npos)
            break;
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        if (next == 'n')
            out += '\n';
        else if (next == 't')
            out += '\t';
        else
            out += next;
    }
    return out;
}

// Yields the meaningful lines of a source file: no comments, no blank lines, no CR.
std::vector<std::string> readLines(const std::filesystem::path& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        lines.push_back(line);
    }
    return lines;
}

void exec(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(message + " in: " + sql);
    }
}

std::string quoteIdentifier(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void insertRow(sqlite3* db, const std::string& sql, const std::vector<std::string>& values,
               const long long* id = nullptr)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    int column = 1;
    if (id)
        sqlite3_bind_int64(statement, column++, *id);
    for (const auto& value : values)
        sqlite3_bind_text(statement, column++, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(db));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: langdbgen SOURCE_DIR OUTPUT_DB\n";
        return 2;
    }
    const std::filesystem::path sourceDir = argv[1];
    const std::filesystem::path output = argv[2];
    try {
        std::set<std::string> requiredKeys;
        for (const auto& line : readLines(sourceDir / "keys.txt"))
            requiredKeys.insert(line);

        std::vector<Language> languages;
        for (const auto& line : readLines(sourceDir / "languages.txt")) {
            const auto fields = splitTabs(line, 3);
            if (fields.size() != 3)
                throw std::runtime_error("languages.txt: expected id, table and name in: " + line);
            languages.push_back({std::stoll(fields[0]), fields[1], fields[2]});
        }

        const auto temporary = output.string() + ".tmp";
        std::filesystem::remove(temporary);
        sqlite3* db = nullptr;
        if (sqlite3_open(temporary.c_str(), &db) != SQLITE_OK)
            throw std::runtime_error("cannot create " + temporary);
        exec(db, "BEGIN");
        exec(db, "CREATE TABLE languages (id INTEGER PRIMARY KEY, tabelle TEXT NOT NULL, name TEXT NOT NULL)");
        for (const auto& language : languages) {
            insertRow(db, "INSERT INTO languages VALUES (?, ?, ?)", {language.table, language.displayName},
                      &language.id);
            const auto table = quoteIdentifier(language.table);
            exec(db, "CREATE TABLE " + table + " (key TEXT PRIMARY KEY, inhalt TEXT)");
            std::map<std::string, std::string> texts;
            for (const auto& line : readLines(sourceDir / (language.table + ".txt"))) {
                const auto fields = splitTabs(line, 2);
                if (fields.size() != 2 || fields[0].empty())
                    throw std::runtime_error(language.table + ".txt: expected KEY<TAB>text in: " + line);
                if (!texts.emplace(fields[0], unescape(fields[1])).second)
                    throw std::runtime_error(language.table + ".txt: key defined twice: " + fields[0]);
            }
            for (const auto& key : requiredKeys) {
                const auto found = texts.find(key);
                if (found == texts.end() || found->second.empty())
                    throw std::runtime_error(language.table + ".txt: no text for key " + key);
            }
            for (const auto& [key, text] : texts)
                insertRow(db, "INSERT INTO " + table + " (key, inhalt) VALUES (?, ?)", {key, text});
        }
        exec(db, "COMMIT");
        sqlite3_close(db);
        std::filesystem::rename(temporary, output);
    } catch (const std::exception& error) {
        std::cerr << "langdbgen: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
