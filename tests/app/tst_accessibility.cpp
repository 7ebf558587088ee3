#include "AboutDialog.h"
#include "AccessibilityAudit.h"
#include "ApplicationChooser.h"
#include "AsciiListDialog.h"
#include "CountingTypeProvider.h"
#include "DownloadAsDialog.h"
#include "MainWindow.h"
#include "PropertiesDialog.h"
#include "ScriptedPrompter.h"
#include "StartDialog.h"
#include "TextCatalogue.h"
#include "UploadAsDialog.h"

#include <QTest>

#include <functional>

// Every kind of window of the program, as a screen reader user meets it, in each language.
class AccessibilityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH)); }

    void windows_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("window");
        for (const auto& language : TextCatalogue::instance().languages()) {
            for (const char* window : {"frmStart", "mdiMain", "frmInfo", "frmASCIIListe", "frmUploadAls",
                                       "frmDownloadAls", "frmProperties", "frmOpenWith"})
                QTest::addRow("%s/%s", qPrintable(language.table), window)
                    << language.table << QString::fromLatin1(window);
        }
    }

    void windows()
    {
        QFETCH(QString, language);
        QFETCH(QString, window);
        TextCatalogue::instance().setChosenTable(language);
        ScriptedPrompter prompter;
        CountingTypeProvider types;
        FileEntry entry;
        entry.name = QStringLiteral("notes.txt");
        const QString path = QStringLiteral(LANG_DB_PATH);
        const QHash<QString, std::function<QWidget*()>> makers{
            {QStringLiteral("frmStart"), [] { return new StartDialog; }},
            {QStringLiteral("frmInfo"), [] { return new AboutDialog; }},
            {QStringLiteral("frmASCIIListe"), [] { return new AsciiListDialog; }},
            {QStringLiteral("frmUploadAls"), [&] { return new UploadAsDialog(entry, &types); }},
            {QStringLiteral("frmDownloadAls"), [&] { return new DownloadAsDialog({entry.name, {}, {}}, types); }},
            {QStringLiteral("frmProperties"), [&] { return new PropertiesDialog(path); }},
            {QStringLiteral("frmOpenWith"), [&] { return new ApplicationChooser(path); }},
            {QStringLiteral("mdiMain"), [] { return new MainWindow; }}};
        std::unique_ptr<QWidget> widget(makers.value(window)());
        widget->setAttribute(Qt::WA_DeleteOnClose, false);
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        QCOMPARE(AccessibilityAudit::problems(widget.get()), QStringList());
    }
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
