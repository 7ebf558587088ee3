#include "CountingTypeProvider.h"
#include "EntryPresentation.h"
#include "EntryTypeResolver.h"
#include "MimeTypeInfoProvider.h"
#include "TestHelpers.h"
#include "TypeNameCache.h"

#include <QTimeZone>

namespace {

constexpr qint64 GiB = qint64{1024} * 1024 * 1024;

FileEntry folder(const QString& name)
{
    return {EntryKind::Folder, name, FileEntry::folderIconKey, {}, FileAttribute::directory, 0, {}, {}, {}};
}

FileEntry file(const QString& name)
{
    return {
        EntryKind::File, name, iconKeyOf(name), QStringLiteral("Textdokument"), FileAttribute::archive, 10, {}, {}, {}};
}

QDateTime utc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc());
}

} // namespace

// The rules that present file entries in both panes: keys, type names, sizes, dates, attribute
// letters, and the resolver that asks the desktop for type names and pictures.
class EntryPresentationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { useCatalogue("deutsch"); }

    void extensionKeyAndFallbackNames_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("local");  // the key's last three characters
        QTest::addColumn<QString>("remote"); // the whole extension
        QTest::newRow("upper-case extension") << "deutsch" << "Readme.TXT" << "TXT" << "ztxt" << "TXT-Datei" << "TXT-Datei";
        QTest::newRow("two dots") << "deutsch" << "archiv.tar.gz" << "gz" << "zgz" << "ZGZ-Datei" << "GZ-Datei";
        QTest::newRow("long extension") << "deutsch" << "index.html" << "html" << "zhtml" << "TML-Datei" << "HTML-Datei";
        QTest::newRow("short extension") << "deutsch" << "a.c" << "c" << "zc" << "ZC-Datei" << "C-Datei";
        QTest::newRow("no dot") << "deutsch" << "Makefile" << "Makefile" << "zmakefile" << "ILE-Datei" << "MAKEFILE-Datei";
        QTest::newRow("leading dot") << "deutsch" << ".profile" << "profile" << "zprofile" << "ILE-Datei" << "PROFILE-Datei";
        QTest::newRow("trailing dot") << "deutsch" << "name." << "" << "z" << "Z-Datei" << "-Datei";
        QTest::newRow("umlaut") << "deutsch" << "Bild.ÄÖÜ" << "ÄÖÜ" << "zäöü" << "ÄÖÜ-Datei" << "ÄÖÜ-Datei";
        QTest::newRow("English") << "english" << "data.bin" << "bin" << "zbin" << "BIN file" << "BIN file";
        QTest::newRow("English, long") << "english" << "index.html" << "html" << "zhtml" << "TML file" << "HTML file";
    }

    void extensionKeyAndFallbackNames()
    {
        QFETCH(QString, language);
        useCatalogue(qPrintable(language));
        QFETCH(QString, name);
        QFETCH(QString, key);
        QTEST(getExtension(name), "extension");
        QCOMPARE(iconKeyOf(name), key);
        // A type the provider cannot name: the fallback, its ending in the chosen language.
        CountingTypeProvider provider;
        QTEST(EntryTypeResolver(provider, FallbackRule::Local).resolve(name).typeName, "local");
        QTEST(EntryTypeResolver(provider, FallbackRule::Remote).resolve(name).typeName, "remote");
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
        QTest::newRow("5 GiB does not wrap") << 5 * GiB << "5242881 KB" << "5242880 KB";
    }

    void sizeTexts()
    {
        QFETCH(qint64, size);
        QTEST(localSizeText(size), "local");
        QTEST(remoteSizeText(size), "remote");
    }

    void dateTexts_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::newRow("padded fields") << utc(2005, 3, 5, 14, 7, 9) << "05.03.2005 14:07:09" << "05.03.2005 14:07";
        // A local time in another zone shows its UTC fields; a remote one the server's own.
        QTest::newRow("another zone") << QDateTime(QDate(2005, 1, 1), QTime(0, 30), QTimeZone("Europe/Berlin"))
                                      << "31.12.2004 23:30:00"
                                      << "01.01.2005 00:30";
        QTest::newRow("year unpadded") << utc(999, 1, 2, 3, 4, 5) << "02.01.999 03:04:05" << "02.01.999 03:04";
        QTest::newRow("invalid") << QDateTime() << "" << "";
    }

    void dateTexts()
    {
        QFETCH(QDateTime, time);
        QTEST(localDateText(time), "local");
        QTEST(remoteDateText(time), "remote");
    }

    void attributeLetters_data()
    {
        QTest::addColumn<quint32>("attributes");
        QTest::addColumn<QStringList>("texts"); // local, remote, after a delete, command listings
        QTest::newRow("folder archive") << quint32{0x30} << strings({"DA", "DA", "DA", "A"});
        QTest::newRow("every letter") << quint32{0x9B7} << strings({"TRHSNDCA", "TRHSDNCA", "TRHDSNCA", "TRHSNCA"});
        QTest::newRow("folder, system, normal") << quint32{0x94} << strings({"SND", "SDN", "DSN", "SN"});
        QTest::newRow("bits without letters") << quint32{0x40 | 0x200 | 0x400 | 0x1000} << strings({"", "", "", ""});
    }

    void attributeLetters()
    {
        QFETCH(quint32, attributes);
        QStringList texts;
        for (const auto order :
             {AttributeOrder::Local, AttributeOrder::Remote, AttributeOrder::AfterDelete, AttributeOrder::Command})
            texts.append(attributeText(attributes, order));
        QTEST(texts, "texts");
    }

    // The rows of both panes show through these rules (the panes' tests read them there); here
    // what the panes do not show: a link to a folder and the local time with seconds.
    void rowTextsFollowTheKindAndTheSide()
    {
        FileEntry link = folder(QStringLiteral("Docs"));
        link.kind = EntryKind::Link;
        link.lastWrite = utc(2005, 3, 5, 14, 7, 9);
        FileEntry text = file(QStringLiteral("a.txt"));
        text.size = 1024;
        text.lastWrite = link.lastWrite;
        const auto texts = [](const FileEntry& entry, ListSide side, AttributeOrder order) {
            QStringList shown;
            for (const EntryColumn column : {EntryColumn::Name, EntryColumn::Size, EntryColumn::Type,
                                             EntryColumn::Changed, EntryColumn::Attributes})
                shown.append(columnText(entry, column, {side, order, QStringLiteral("Ordner")}));
            return shown;
        };
        QCOMPARE(texts(link, ListSide::Remote, AttributeOrder::Remote),
                 strings({"Docs", "", "Ordner", "05.03.2005 14:07", "D"}));
        QCOMPARE(texts(text, ListSide::Local, AttributeOrder::Local),
                 strings({"a.txt", "2 KB", "Textdokument", "05.03.2005 14:07:09", "A"}));
    }

    void typeNameCache()
    {
        // Keys ignore case, the first name stays, an empty name is kept; folders and built-in
        // types are named without a question.
        TypeNameCache cache;
        cache.insert(QStringLiteral("zqqq"), QString());
        cache.insert(QStringLiteral("ztxt"), QStringLiteral("Textdokument"));
        cache.insert(QStringLiteral("ZTXT"), QStringLiteral("anders"));
        QCOMPARE(cache.find(QStringLiteral("zqqq")), std::optional<QString>(QString()));
        QCOMPARE(cache.find(QStringLiteral("zTxT")), std::optional<QString>(QStringLiteral("Textdokument")));
        QVERIFY(!cache.find(QStringLiteral("zdoc")));
        QCOMPARE(cache.find(QStringLiteral("FOLDER")), std::optional<QString>(QStringLiteral("Dateiordner")));
        QCOMPARE(TypeNameCache::builtInTypeName(QStringLiteral("zlnk")),
                 std::optional<QString>(QStringLiteral("Verknüpfung")));
        QVERIFY(!TypeNameCache::builtInTypeName(QStringLiteral("zdll")));
    }

    // The numbering of a listing's built-in files, and its new start with every listing, are read
    // through the remote pane.
    void resolverAsksOncePerKeyAndCountsBuiltInTypesTogether()
    {
        CountingTypeProvider provider({{QStringLiteral("doc"), QStringLiteral("Word-Dokument")}});
        EntryTypeResolver resolver(provider, FallbackRule::Local);
        QStringList resolved;
        for (const char* name : {"a.DOC", "b.doc", "index.html", "x.EXE", "logo.ico"}) {
            const ResolvedType type = resolver.resolve(QString::fromLatin1(name));
            resolved.append(type.iconKey + QLatin1Char('|') + type.typeName);
        }
        QCOMPARE(resolved, strings({"zdoc|Word-Dokument", "zdoc|Word-Dokument", "zhtml|TML-Datei", "zexe0|Anwendung",
                                    "zico1|Symbol"}));
        QCOMPARE(provider.typeNameQuestions, strings({"a.DOC", "index.html"}));
        QCOMPARE(resolver.icons().size(), 4);
    }

    void mimeDatabaseNamesByFileNameOnly()
    {
        MimeTypeInfoProvider provider;
        // The names need not exist: the remote pane asks about files it only knows by name.
        QVERIFY(!provider.typeName(QStringLiteral("/no/such/folder/report.txt")).isEmpty());
        QCOMPARE(provider.typeName(QStringLiteral("data.qqqzz")), QString());
        QVERIFY(!provider.fileIcon(QStringLiteral("data.qqqzz")).isNull());
        QVERIFY(!provider.folderIcon().isNull());
    }
};

QTEST_MAIN(EntryPresentationTest)
#include "tst_entrypresentation.moc"
