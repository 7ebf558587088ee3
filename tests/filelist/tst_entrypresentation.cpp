#include "NameLists.h"
#include "EntryPresentation.h"
#include "EntrySorter.h"

#include <QTest>
#include <QTimeZone>

namespace {

constexpr qint64 GiB = qint64{1024} * 1024 * 1024;

FileEntry folder(const QString& name)
{
    return {EntryKind::Folder, name, FileEntry::folderIconKey, {}, FileAttribute::directory, 0, {}, {}, {}};
}

FileEntry file(const QString& name)
{
    return {EntryKind::File, name, iconKeyOf(name), QStringLiteral("Textdokument"), FileAttribute::archive, 10, {}, {}, {}};
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

    void rowsOfEveryKind_data()
    {
        QTest::addColumn<FileEntry>("entry");
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("texts");
        FileEntry docs = folder(QStringLiteral("Docs"));
        docs.lastWrite = utc(2005, 3, 5, 14, 7, 9);
        FileEntry text = file(QStringLiteral("a.txt"));
        text.size = 1024;
        text.attributes = FileAttribute::readOnly | FileAttribute::archive;
        FileEntry link = docs;
        link.kind = EntryKind::Link;
        FileEntry fileLink = text;
        fileLink.kind = EntryKind::Link;
        const FileEntry parent{EntryKind::Parent, QStringLiteral(".."), {}, {}, FileAttribute::directory, 0, {}, {}, {}};
        const int local = int(ListSide::Local);
        const int remote = int(ListSide::Remote);
        QTest::newRow("local folder") << docs << local << int(AttributeOrder::Local)
                                      << strings({"Docs", "", "Ordner", "05.03.2005 14:07:09", "D"});
        QTest::newRow("local file") << text << local << int(AttributeOrder::Local)
                                    << strings({"a.txt", "2 KB", "Textdokument", "", "RA"});
        // The command listings never show D.
        QTest::newRow("command folder") << docs << local << int(AttributeOrder::Command)
                                        << strings({"Docs", "", "Ordner", "05.03.2005 14:07:09", ""});
        QTest::newRow("remote folder") << docs << remote << int(AttributeOrder::Remote)
                                       << strings({"Docs", "", "Ordner", "05.03.2005 14:07", "D"});
        QTest::newRow("remote file") << text << remote << int(AttributeOrder::Remote)
                                     << strings({"a.txt", "1 KB", "Textdokument", "", "RA"});
        QTest::newRow("link to a folder") << link << remote << int(AttributeOrder::Remote)
                                          << strings({"Docs", "", "Ordner", "05.03.2005 14:07", "D"});
        QTest::newRow("link of unknown kind") << fileLink << remote << int(AttributeOrder::Remote)
                                              << strings({"a.txt", "1 KB", "Textdokument", "", "RA"});
        QTest::newRow("parent") << parent << remote << int(AttributeOrder::Remote) << strings({"..", "", "", "", ""});
    }

    void rowsOfEveryKind()
    {
        QFETCH(FileEntry, entry);
        QFETCH(int, side);
        QFETCH(int, order);
        QFETCH(QStringList, texts);
        const RowStyle style{static_cast<ListSide>(side), static_cast<AttributeOrder>(order), QStringLiteral("Ordner")};
        QStringList shown;
        for (const EntryColumn column : {EntryColumn::Name, EntryColumn::Size, EntryColumn::Type, EntryColumn::Changed,
                                         EntryColumn::Attributes})
            shown.append(columnText(entry, column, style));
        QCOMPARE(shown, texts);
    }
};

QTEST_GUILESS_MAIN(EntryPresentationTest)
#include "tst_entrypresentation.moc"
