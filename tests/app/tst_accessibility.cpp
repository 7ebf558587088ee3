#include "AboutDialog.h"
#include "AccessibilityAudit.h"
#include "AsciiListDialog.h"
#include "MainWindow.h"
#include "ScriptedPrompter.h"
#include "StartDialog.h"
#include "TextCatalogue.h"
#include "UploadAsDialog.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

// Every window of the program, as a screen reader user meets it, in each language.
class AccessibilityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH)); }

    void windows_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("window");
        for (const auto& language : TextCatalogue::instance().languages())
            for (const char* window : {"frmStart", "mdiMain", "frmInfo", "frmASCIIListe", "frmUploadAls"})
                QTest::newRow(qPrintable(language.table + QLatin1Char('/') + QLatin1String(window)))
                    << language.table << QString::fromLatin1(window);
    }

    void windows()
    {
        QFETCH(QString, language);
        QFETCH(QString, window);
        TextCatalogue::instance().setChosenTable(language);
        ScriptedPrompter prompter;
        std::unique_ptr<QWidget> widget;
        if (window == QLatin1String("frmStart"))
            widget = std::make_unique<StartDialog>();
        else if (window == QLatin1String("frmInfo"))
            widget = std::make_unique<AboutDialog>();
        else if (window == QLatin1String("frmASCIIListe"))
            widget = std::make_unique<AsciiListDialog>();
        else if (window == QLatin1String("frmUploadAls")) {
            FileEntry entry;
            entry.name = QStringLiteral("notes.txt");
            widget = std::make_unique<UploadAsDialog>(entry, nullptr);
        } else {
            auto* main = new MainWindow;
            main->setAttribute(Qt::WA_DeleteOnClose, false);
            widget.reset(main);
        }
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        const QStringList problems = AccessibilityAudit::problems(widget.get());
        if (!problems.isEmpty())
            QFAIL(qPrintable(problems.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
