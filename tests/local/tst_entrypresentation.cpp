#include "NameLists.h"
#include "EntryPresentation.h"
#include "EntrySorter.h"
#include "LocalFolderReader.h"

#include <QTest>
#include <QTimeZone>

namespace {

constexpr qint64 GiB = qint64{1024} * 1024 * 1024;

FileEntry folder(const QString& name)
{
    return {FileEntry::folderIconKey, name, FileEntry::folderTypeName, FileAttribute::directory, 0, {}};
}

FileEntry file(const QString& name)
{
    return {iconKeyOf(name), name, QStringLiteral("Textdokument"), FileAttribute::archive, 10, {}};
}

QDateTime utc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc());
}

} // namespace

class EntryPresentationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extensionAndKey_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("key");
        QTest::newRow("upper-case extension") << "Readme.TXT" << "TXT" << "ztxt";
        QTest::newRow("two dots") << "archiv.tar.gz" << "gz" << "zgz";
        QTest::newRow("no dot") << "Makefile" << "Makefile" << "zmakefile";
        QTest::newRow("leading dot") << ".profile" << "profile" << "zprofile";
        QTest::newRow("trailing dot") << "name." << "" << "z";
        QTest::newRow("only a dot") << "." << "" << "z";
        QTest::newRow("umlaut") << "Bild.ÄÖÜ" << "ÄÖÜ" << "zäöü";
    }

    void extensionAndKey()
    {
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QFETCH(QString, key);
        QCOMPARE(getExtension(name), extension);
        QCOMPARE(iconKeyOf(name), key);
    }

    void fallbackTypeNames_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::newRow("zdoc") << "zdoc" << "DOC-Datei" << "DOC-Datei";
        QTest::newRow("zhtml") << "zhtml" << "TML-Datei" << "HTML-Datei";
        QTest::newRow("zc") << "zc" << "ZC-Datei" << "C-Datei";
        QTest::newRow("zmakefile") << "zmakefile" << "ILE-Datei" << "MAKEFILE-Datei";
        QTest::newRow("name ending in a dot") << "z" << "Z-Datei" << "-Datei";
    }

    void fallbackTypeNames()
    {
        QFETCH(QString, key);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        QCOMPARE(localFallbackTypeName(key), local);
        QCOMPARE(remoteFallbackTypeName(key), remote);
    }

    void sizeTexts_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::newRow("0") << qint64{0} << "1 KB" << "1 KB";
        QTest::newRow("1023") << qint64{1023} << "1 KB" << "1 KB";
        QTest::newRow("1024") << qint64{1024} << "2 KB" << "1 KB";
        QTest::newRow("1536 rounds up to even") << qint64{1536} << "2 KB" << "2 KB";
        QTest::newRow("2560 rounds down to even") << qint64{2560} << "3 KB" << "2 KB";
        QTest::newRow("2561 rounds up") << qint64{2561} << "3 KB" << "3 KB";
        QTest::newRow("3584 rounds up to even") << qint64{3584} << "4 KB" << "4 KB";
        QTest::newRow("1048576") << qint64{1048576} << "1025 KB" << "1024 KB";
        QTest::newRow("2 GiB does not wrap") << 2 * GiB << "2097153 KB" << "2097152 KB";
        QTest::newRow("5 GiB") << 5 * GiB << "5242881 KB" << "5242880 KB";
    }

    void sizeTexts()
    {
        QFETCH(qint64, size);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        QCOMPARE(localSizeText(size), local);
        QCOMPARE(remoteSizeText(size), remote);
    }

    void dateTexts_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::newRow("padded fields") << utc(2005, 3, 5, 14, 7, 9) << "05.03.2005 14:07:09" << "05.03.2005 14:07";
        QTest::newRow("end of year") << utc(2004, 12, 31, 23, 30, 0) << "31.12.2004 23:30:00" << "31.12.2004 23:30";
        QTest::newRow("midnight") << utc(2024, 2, 29, 0, 0, 0) << "29.02.2024 00:00:00" << "29.02.2024 00:00";
        QTest::newRow("year unpadded") << utc(999, 1, 2, 3, 4, 5) << "02.01.999 03:04:05" << "02.01.999 03:04";
        QTest::newRow("invalid") << QDateTime() << "" << "";
    }

    void dateTexts()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        QCOMPARE(localDateText(time), local);
        QCOMPARE(remoteDateText(time), remote);
    }

    void localDateIsUtcWhateverTheZone()
    {
        // The same instant given in another zone still shows its UTC fields.
        const QDateTime berlin(QDate(2005, 1, 1), QTime(0, 30), QTimeZone("Europe/Berlin"));
        QCOMPARE(localDateText(berlin), QStringLiteral("31.12.2004 23:30:00"));
    }

    void attributeLetters_data()
    {
        QTest::addColumn<quint32>("attributes");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("afterDelete");
        QTest::addColumn<QString>("command");
        QTest::newRow("none") << quint32{0} << "" << "" << "" << "";
        QTest::newRow("read-only archive") << quint32{0x21} << "RA" << "RA" << "RA" << "RA";
        QTest::newRow("folder archive") << quint32{0x30} << "DA" << "DA" << "DA" << "A";
        QTest::newRow("hidden system archive") << quint32{0x26} << "HSA" << "HSA" << "HSA" << "HSA";
        QTest::newRow("every letter") << quint32{0x9B7} << "TRHSNDCA" << "TRHSDNCA" << "TRHDSNCA" << "TRHSNCA";
        QTest::newRow("folder, system, normal") << quint32{0x94} << "SND" << "SDN" << "DSN" << "SN";
        QTest::newRow("bits without letters") << quint32{0x40 | 0x200 | 0x400 | 0x1000} << "" << "" << "" << "";
    }

    void attributeLetters()
    {
        QFETCH(quint32, attributes);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        QFETCH(QString, afterDelete);
        QFETCH(QString, command);
        QCOMPARE(attributeText(attributes, AttributeOrder::Local), local);
        QCOMPARE(attributeText(attributes, AttributeOrder::Remote), remote);
        QCOMPARE(attributeText(attributes, AttributeOrder::AfterDelete), afterDelete);
        QCOMPARE(attributeText(attributes, AttributeOrder::Command), command);
    }

    void localAttributeBits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<bool>("isRegularFile");
        QTest::addColumn<bool>("isSymLink");
        QTest::addColumn<bool>("isWritable");
        QTest::addColumn<quint32>("bits");
        QTest::newRow("plain file") << "a.txt" << false << true << false << true << quint32{0x80};
        QTest::newRow("read-only file") << "a.txt" << false << true << false << false << quint32{0x1};
        QTest::newRow("folder") << "docs" << true << false << false << true << quint32{0x10};
        QTest::newRow("hidden folder") << ".cache" << true << false << false << true << quint32{0x12};
        QTest::newRow("hidden read-only file") << ".netrc" << false << true << false << false << quint32{0x3};
        QTest::newRow("fifo") << "pipe" << false << false << false << true << quint32{0x4};
        QTest::newRow("dangling link") << "link" << false << false << true << true << quint32{0x80};
    }

    void localAttributeBits()
    {
        QFETCH(QString, name);
        QFETCH(bool, isFolder);
        QFETCH(bool, isRegularFile);
        QFETCH(bool, isSymLink);
        QFETCH(bool, isWritable);
        QFETCH(quint32, bits);
        QCOMPARE(::localAttributeBits({name, isFolder, isRegularFile, isSymLink, isWritable}), bits);
    }

    void sortModes_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("order");
        for (const char* locale : {"C", "de_DE", "en_US"}) {
            QTest::addRow("text %s", locale) << QString::fromLatin1(locale) << int(CompareMode::Text)
                                             << strings({"A", "b", "c", "a.txt", "Z.txt"});
            QTest::addRow("code %s", locale) << QString::fromLatin1(locale) << int(CompareMode::Code)
                                             << strings({"A", "b", "c", "Z.txt", "a.txt"});
        }
    }

    void sortModes()
    {
        QFETCH(QString, locale);
        QFETCH(int, mode);
        QFETCH(QStringList, order);
        QLocale::setDefault(QLocale(locale));
        QList<FileEntry> entries{file(QStringLiteral("Z.txt")), folder(QStringLiteral("b")),
                                 file(QStringLiteral("a.txt")), folder(QStringLiteral("A")),
                                 folder(QStringLiteral("c"))};
        sortEntries(entries, static_cast<CompareMode>(mode));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(namesOf(entries), order);
    }

    void folderTestDependsOnMode()
    {
        // A type name that differs from "Dateiordner" only in case or blanks is a folder in
        // text mode only.
        FileEntry odd = file(QStringLiteral("odd"));
        odd.typeName = QStringLiteral(" dateiordner ");
        QList<FileEntry> entries{file(QStringLiteral("a.txt")), odd};
        sortEntries(entries, CompareMode::Text);
        QCOMPARE(namesOf(entries), (strings({"odd", "a.txt"})));
        sortEntries(entries, CompareMode::Code);
        QCOMPARE(namesOf(entries), (strings({"a.txt", "odd"})));
    }

    void rowOfFolderAndFile()
    {
        FileEntry docs = folder(QStringLiteral("Docs"));
        docs.lastWrite = utc(2005, 3, 5, 14, 7, 9);
        const EntryRow folderRow = localEntryRow(docs, AttributeOrder::Local, CompareMode::Text, QStringLiteral("Ordner"));
        QCOMPARE(folderRow, (EntryRow{QStringLiteral("Docs"), QStringLiteral("Folder"), QString(), QStringLiteral("Ordner"),
                             QStringLiteral("05.03.2005 14:07:09"), QStringLiteral("D"), true}));

        FileEntry text = file(QStringLiteral("a.txt"));
        text.size = 1024;
        text.attributes = 0x21;
        const EntryRow fileRow = localEntryRow(text, AttributeOrder::Local, CompareMode::Text, QStringLiteral("Ordner"));
        QCOMPARE(fileRow, (EntryRow{QStringLiteral("a.txt"), QStringLiteral("ztxt"), QStringLiteral("2 KB"),
                           QStringLiteral("Textdokument"), QString(), QStringLiteral("RA"), false}));

        // The command listings never show D.
        QCOMPARE(localEntryRow(docs, AttributeOrder::Command, CompareMode::Code, QStringLiteral("Ordner")).attributeText,
                 QString());
    }
};

QTEST_GUILESS_MAIN(EntryPresentationTest)
#include "tst_entrypresentation.moc"
