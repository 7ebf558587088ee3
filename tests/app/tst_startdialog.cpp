#include "CatalogueBuilder.h"
#include "StartDialog.h"
#include "TestHelpers.h"

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>

// The language choice at the first start, on a catalogue made by the test.
class StartDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        CatalogueBuilder builder;
        builder.languages = {{QStringLiteral(" deutsch "), QStringLiteral("Deutsch")},
                             {QStringLiteral("english"), QStringLiteral("English")},
                             {QStringLiteral("francais"), QStringLiteral("Français")},
                             {QStringLiteral("english2"), QStringLiteral("English")}};
        QVERIFY(builder.write(m_dir.filePath(QStringLiteral("lang.db"))));
        TextCatalogue::instance().setChosenTable({});
        TextCatalogue::instance().openCatalogue(m_dir.filePath(QStringLiteral("lang.db")));
    }

    void choice_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("table");
        // The table's name trimmed; of two equal names the first wins.
        QTest::newRow("the first, preselected") << -1 << "cmdOk" << "deutsch";
        QTest::newRow("the second English") << 3 << "cmdOk" << "english";
        QTest::newRow("cancel chooses nothing") << 2 << "cmdAbbrechen" << "";
    }

    void choice()
    {
        QFETCH(int, row);
        QFETCH(QString, button);
        StartDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Bitte wählen Sie Ihre Sprache"));
        QCOMPARE(dialog.languageList()->count(), 4);
        QCOMPARE(dialog.languageList()->itemText(2), QStringLiteral("Français"));
        QCOMPARE(dialog.languageList()->currentIndex(), 0);
        if (row >= 0)
            dialog.languageList()->setCurrentIndex(row);
        dialog.show();
        dialog.findChild<QPushButton*>(button)->click();
        QCOMPARE(dialog.result(), int(button == QLatin1String("cmdOk") ? QDialog::Accepted : QDialog::Rejected));
        QTEST(TextCatalogue::instance().chosenTable(), "table");
    }

    void missingDatabaseStillConfirms()
    {
        TextCatalogue::instance().openCatalogue(m_dir.filePath(QStringLiteral("absent.db")));
        StartDialog dialog;
        QCOMPARE(dialog.languageList()->count(), 0);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(TextCatalogue::instance().chosenTable().isEmpty());
        QCOMPARE(getText("LABEL_PORT"), QStringLiteral("########"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(StartDialogTest)
#include "tst_startdialog.moc"
