#include "AboutDialog.h"
#include "ScriptedPrompter.h"
#include "TestHelpers.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

class AboutDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useCatalogue("english"); }

    void ownerIsTheFullNameOnly()
    {
        // The password database's comment field also holds phones after commas.
        QVERIFY(!AboutDialog::registeredOwner().contains(QLatin1Char(',')));
        QCOMPARE(AboutDialog().findChild<QLabel*>(QStringLiteral("lblName"))->text(), AboutDialog::registeredOwner());
    }

    void systemInformationTool_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::newRow("none on the path") << false;
        QTest::newRow("the first on the path") << true;
    }

    void systemInformationTool()
    {
        QFETCH(bool, installed);
        QTemporaryDir bin;
        const QString marker = bin.filePath(QStringLiteral("started"));
        const QString tool = bin.filePath(QStringLiteral("hardinfo"));
        if (installed) {
            QVERIFY(writeFile(tool, "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n"));
            QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + (installed ? ":/usr/bin:/bin" : ""));
        QCOMPARE(AboutDialog::systemInfoTool(), installed ? tool : QString());
        ScriptedPrompter prompter;
        AboutDialog dialog;
        dialog.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->click();
        qputenv("PATH", path);
        if (installed) {
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), jobTimeout);
            QVERIFY(prompter.messages.isEmpty());
            return;
        }
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages[0].text, QStringLiteral("Systeminformationen sind momentan nicht verfügbar"));
    }
};

QTEST_MAIN(AboutDialogTest)
#include "tst_aboutdialog.moc"
