#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <mutex>

struct sqlite3;

// The language database: a list of languages and one text table per language.
// Lookups may come from the GUI thread and the session thread at the same time.
class TextCatalogue
{
public:
    struct Language {
        QString table;       // name of the text table, blanks around it trimmed
        QString displayName; // shown in the language dialog
    };

    // The text every lookup without an answer gives.
    static inline const QString missingText = QStringLiteral("########");
    static constexpr int maxLanguages = 10;

    static TextCatalogue& instance();

    // Opens lang.db read-only; a missing or unreadable file leaves the catalogue closed, which
    // makes languages() empty and every getText() answer "########".
    void openCatalogue(const QString& path);
    void closeCatalogue();
    bool isOpen() const;

    // The first rows of the languages table, in row order.
    QList<Language> languages() const;
    void setChosenTable(const QString& table);
    QString chosenTable() const;

    // The text of key in the chosen table, unchanged; "########" when there is none, when it is
    // empty or null, or when the lookup fails.
    QString getText(const QString& key) const;

private:
    TextCatalogue() = default;
    ~TextCatalogue();

    mutable std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    QString m_chosenTable;
    // Answers given since the file was opened or the table chosen: a transfer of many small
    // files asks for the same few texts thousands of times.
    mutable QHash<QString, QString> m_answers;
};

// The shorthand every window uses for its captions and messages.
inline QString getText(const QString& key) { return TextCatalogue::instance().getText(key); }
inline QString getText(const char* key) { return getText(QString::fromLatin1(key)); }

// A caption without its keyboard markers, for places that show "&" literally (combo entries,
// tool tips, window titles): "&Datei" gives "Datei", "A&&B" gives "A&B".
QString withoutMnemonic(const QString& caption);
