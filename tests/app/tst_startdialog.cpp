#include "CatalogueBuilder.h"
#include "StartDialog.h"
#include "TextCatalogue.h"

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

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

    void listsLanguagesInRowOrderFirstSelected()
    {
        StartDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Bitte wählen Sie Ihre Sprache"));
        QComboBox* list = dialog.languageList();
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->itemText(0), QStringLiteral("Deutsch"));
        QCOMPARE(list->itemText(2), QStringLiteral("Français"));
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("cmdOk"))->text(), QStringLiteral("Ok"));
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("cmdAbbrechen"))->text(), QStringLiteral("Abbrechen"));
    }

    void okRecordsTheTrimmedTable()
    {
        StartDialog dialog;
        dialog.show();
        dialog.findChild<QPushButton*>(QStringLiteral("cmdOk"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(TextCatalogue::instance().chosenTable(), QStringLiteral("deutsch"));
    }

    void firstOfTwoEqualNamesWins()
    {
        StartDialog dialog;
        dialog.languageList()->setCurrentIndex(3);
        dialog.accept();
        QCOMPARE(TextCatalogue::instance().chosenTable(), QStringLiteral("english"));
    }

    void cancelChoosesNothing()
    {
        StartDialog dialog;
        dialog.show();
        dialog.findChild<QPushButton*>(QStringLiteral("cmdAbbrechen"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(TextCatalogue::instance().chosenTable().isEmpty());
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
