#include "StartDialog.h"
#include "TextCatalogue.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#include <sqlite3.h>

namespace {

// Writes a language database with the languages table of the delivered lang.db and what sql adds.
bool writeDatabase(const QString& path, const char* sql)
{
    QFile::remove(path);
    const QByteArray script =
        "CREATE TABLE languages (id INTEGER PRIMARY KEY, tabelle TEXT, name TEXT);" + QByteArray(sql);
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK
                    && sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Table names are stored as given; texts may be NULL; a key may hold an apostrophe or come twice.
const char* const sampleCatalogue =
    "INSERT INTO languages (tabelle, name) VALUES ('  deutsch  ', 'Deutsch'), ('english', 'English'),"
    " ('odd\"table', 'Odd'), ('english2', 'English');"
    "CREATE TABLE deutsch (key TEXT, inhalt TEXT);"
    "INSERT INTO deutsch VALUES ('LABEL_PORT', 'Port'), ('SPACED', '  zwei' || char(13, 10) || 'Zeilen  '),"
    " ('EMPTY', ''), ('NULLTEXT', NULL), ('IT''S', 'Apostroph'), ('TWICE', 'erste'), ('TWICE', 'zweite');"
    "CREATE TABLE english (key TEXT, inhalt TEXT);"
    "INSERT INTO english VALUES ('LABEL_PORT', 'Port (en)');"
    "CREATE TABLE \"odd\"\"table\" (key TEXT, inhalt TEXT);"
    "INSERT INTO \"odd\"\"table\" VALUES ('X', 'odd');";

} // namespace

// The text catalogue and the language choice at the first start, on databases made by the test.
class TextCatalogueTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_path = m_dir.filePath(QStringLiteral("lang.db"));
        QVERIFY(writeDatabase(m_path, sampleCatalogue));
        TextCatalogue::instance().setChosenTable({});
        TextCatalogue::instance().openCatalogue(m_path);
    }

    void cleanup() { TextCatalogue::instance().closeCatalogue(); }

    void atMostTenLanguages()
    {
        QVERIFY(writeDatabase(m_path, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 11) "
                                      "INSERT INTO languages (tabelle, name) SELECT 't' || i, 'L' || i FROM n;"));
        TextCatalogue::instance().openCatalogue(m_path);
        QCOMPARE(TextCatalogue::instance().languages().size(), 10);
        QCOMPARE(TextCatalogue::instance().languages().last().displayName, QStringLiteral("L9"));
    }

    void languageChoice_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("table");
        // In row order, the table's name trimmed; of two equal names the first wins.
        QTest::newRow("the first, preselected") << -1 << "cmdOk" << "deutsch";
        QTest::newRow("the second English") << 3 << "cmdOk" << "english";
        QTest::newRow("cancel chooses nothing") << 2 << "cmdAbbrechen" << "";
    }

    void languageChoice()
    {
        QFETCH(int, row);
        QFETCH(QString, button);
        StartDialog dialog;
        QCOMPARE(dialog.languageList()->count(), 4);
        QCOMPARE(dialog.languageList()->itemText(2), QStringLiteral("Odd"));
        if (row >= 0)
            dialog.languageList()->setCurrentIndex(row);
        dialog.show();
        dialog.findChild<QPushButton*>(button)->click();
        QCOMPARE(dialog.result(), int(button == QLatin1String("cmdOk") ? QDialog::Accepted : QDialog::Rejected));
        QTEST(TextCatalogue::instance().chosenTable(), "table");
    }

    void lookups_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QString missing = QStringLiteral("########");
        QTest::newRow("found") << "deutsch" << "LABEL_PORT" << "Port";
        QTest::newRow("other language") << "english" << "LABEL_PORT" << "Port (en)";
        QTest::newRow("blanks around the table name") << "  deutsch " << "LABEL_PORT" << "Port";
        QTest::newRow("unchanged with blanks and line breaks") << "deutsch" << "SPACED" << "  zwei\r\nZeilen  ";
        QTest::newRow("missing key") << "deutsch" << "NO_SUCH_KEY" << missing;
        QTest::newRow("empty text") << "deutsch" << "EMPTY" << missing;
        QTest::newRow("null text") << "deutsch" << "NULLTEXT" << missing;
        QTest::newRow("key with apostrophe is bound, not spliced") << "deutsch" << "IT'S" << "Apostroph";
        QTest::newRow("first of two rows") << "deutsch" << "TWICE" << "erste";
        QTest::newRow("keys compare exactly") << "deutsch" << "label_port" << missing;
        QTest::newRow("quote in table name") << "odd\"table" << "X" << "odd";
        QTest::newRow("missing table") << "klingon" << "LABEL_PORT" << missing;
        QTest::newRow("no table chosen") << "" << "LABEL_PORT" << missing;
    }

    void lookups()
    {
        QFETCH(QString, table);
        QFETCH(QString, key);
        TextCatalogue::instance().setChosenTable(table);
        QTEST(TextCatalogue::instance().getText(key), "expected");
    }

    void missingOrUnreadableDatabase_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("not a database") << QByteArray(4096, 'x');
    }

    void missingOrUnreadableDatabase()
    {
        QFETCH(QByteArray, content);
        const QString path = m_dir.filePath(QStringLiteral("other.db"));
        QFile::remove(path);
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        }
        TextCatalogue::instance().openCatalogue(path);
        QVERIFY(TextCatalogue::instance().languages().isEmpty());
        // The language dialog still confirms, choosing nothing.
        StartDialog dialog;
        QCOMPARE(dialog.languageList()->count(), 0);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(TextCatalogue::instance().chosenTable().isEmpty());
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
        QCOMPARE(getText("LABEL_PORT"), QStringLiteral("########"));
        // Opening never creates the file.
        QCOMPARE(QFile::exists(path), !content.isEmpty());
    }

    void lookupsFromAnotherThread()
    {
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
        QString fromThread;
        std::thread worker([&fromThread] {
            for (int i = 0; i < 200; ++i)
                fromThread = getText("LABEL_PORT");
        });
        for (int i = 0; i < 200; ++i)
            QCOMPARE(getText("LABEL_PORT"), QStringLiteral("Port"));
        worker.join();
        QCOMPARE(fromThread, QStringLiteral("Port"));
    }

    void mnemonicsRemoved_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("plain");
        QTest::newRow("marker") << "&Datei" << "Datei";
        QTest::newRow("inner marker") << "AU&TO" << "AUTO";
        QTest::newRow("doubled") << "A && B" << "A & B";
        QTest::newRow("trailing") << "Ende&" << "Ende&";
    }

    void mnemonicsRemoved()
    {
        QFETCH(QString, caption);
        QTEST(withoutMnemonic(caption), "plain");
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QTEST_MAIN(TextCatalogueTest)
#include "tst_textcatalogue.moc"
