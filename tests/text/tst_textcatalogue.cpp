#include "CatalogueBuilder.h"
#include "TextCatalogue.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

class TextCatalogueTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("lang.db"));
        CatalogueBuilder builder;
        builder.languages = {{QStringLiteral("  deutsch  "), QStringLiteral("Deutsch")},
                             {QStringLiteral("english"), QStringLiteral("English")},
                             {QStringLiteral("odd\"table"), QStringLiteral("Odd")}};
        builder.tables = {{QStringLiteral("deutsch"),
                           {{QStringLiteral("LABEL_PORT"), QStringLiteral("Port")},
                            {QStringLiteral("SPACED"), QStringLiteral("  zwei\r\nZeilen  ")},
                            {QStringLiteral("EMPTY"), QStringLiteral("")},
                            {QStringLiteral("NULLTEXT"), QString()},
                            {QStringLiteral("IT'S"), QStringLiteral("Apostroph")},
                            {QStringLiteral("TWICE"), QStringLiteral("erste")},
                            {QStringLiteral("TWICE"), QStringLiteral("zweite")}}},
                          {QStringLiteral("english"), {{QStringLiteral("LABEL_PORT"), QStringLiteral("Port (en)")}}},
                          {QStringLiteral("odd\"table"), {{QStringLiteral("X"), QStringLiteral("odd")}}}};
        QVERIFY(builder.write(m_path));
        TextCatalogue::instance().setChosenTable({});
        TextCatalogue::instance().openCatalogue(m_path);
    }

    void cleanup() { TextCatalogue::instance().closeCatalogue(); }

    void languagesInRowOrderWithTrimmedTablesAtMostTen()
    {
        const auto languages = TextCatalogue::instance().languages();
        QCOMPARE(languages.size(), 3);
        QCOMPARE(languages[0].table, QStringLiteral("deutsch"));
        QCOMPARE(languages[2].displayName, QStringLiteral("Odd"));
        CatalogueBuilder builder;
        for (int i = 0; i < 12; ++i)
            builder.languages.append({QStringLiteral("t%1").arg(i), QStringLiteral("L%1").arg(i)});
        QVERIFY(builder.write(m_dir.filePath(QStringLiteral("many.db"))));
        TextCatalogue::instance().openCatalogue(m_dir.filePath(QStringLiteral("many.db")));
        QCOMPARE(TextCatalogue::instance().languages().size(), 10);
        QCOMPARE(TextCatalogue::instance().languages().last().displayName, QStringLiteral("L9"));
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
        QTest::newRow("injection attempt") << "deutsch" << "x' OR '1'='1" << missing;
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

QTEST_GUILESS_MAIN(TextCatalogueTest)
#include "tst_textcatalogue.moc"
