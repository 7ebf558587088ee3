#include "AboutDialog.h"
#include "ScriptedPrompter.h"
#include "TextCatalogue.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class AboutDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
        TextCatalogue::instance().setChosenTable(QStringLiteral("english"));
        m_path = qgetenv("PATH");
    }

    void cleanup() { qputenv("PATH", m_path); }

    void captionsComeFromTheCatalogue()
    {
        AboutDialog dialog;
        QCOMPARE(dialog.windowTitle(), withoutMnemonic(getText("INFO_CAPTION")));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblAppName"))->text(), getText("INFO_APPNAME"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblLegal"))->text(), getText("INFO_LEGAL"));
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->text(), getText("INFO_SYSINFO"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblName"))->text(), AboutDialog::registeredOwner());
        QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("lblOrg"))->text().isEmpty());
        // The full name only: the password database's comment field also holds phones after commas.
        QVERIFY(!AboutDialog::registeredOwner().contains(QLatin1Char(',')));
    }

    void noSystemInformationTool()
    {
        QTemporaryDir empty;
        qputenv("PATH", empty.path().toUtf8());
        QVERIFY(AboutDialog::systemInfoTool().isEmpty());
        ScriptedPrompter prompter;
        AboutDialog dialog;
        dialog.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->click();
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages[0].text, QStringLiteral("Systeminformationen sind momentan nicht verfügbar"));
        QCOMPARE(prompter.messages[0].icon, PromptIcon::None);
        QVERIFY(prompter.messages[0].title.isEmpty());
    }

    void startsTheFirstToolOnThePath()
    {
        QTemporaryDir bin;
        const QString marker = bin.filePath(QStringLiteral("started"));
        const QString tool = bin.filePath(QStringLiteral("hardinfo"));
        QFile script(tool);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin.path().toUtf8() + ":/usr/bin:/bin");
        QCOMPARE(AboutDialog::systemInfoTool(), tool);
        ScriptedPrompter prompter;
        AboutDialog dialog;
        dialog.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->click();
        QTRY_VERIFY(QFile::exists(marker));
        QVERIFY(prompter.messages.isEmpty());
    }

private:
    QByteArray m_path;
};

QTEST_MAIN(AboutDialogTest)
#include "tst_aboutdialog.moc"
