#include "AboutDialog.h"
#include "AccessibilityAudit.h"
#include "ApplicationChooser.h"
#include "AsciiListDialog.h"
#include "ChildWindowLayout.h"
#include "ConnectionBar.h"
#include "CountingTypeProvider.h"
#include "DownloadAsDialog.h"
#include "MainMenu.h"
#include "MainWindow.h"
#include "PropertiesDialog.h"
#include "RemoteActions.h"
#include "ScriptedPrompter.h"
#include "SiteBook.h"
#include "SiteManagerDialog.h"
#include "StartDialog.h"
#include "TestHelpers.h"
#include "TransferHistory.h"
#include "TransferTypeSelector.h"
#include "UploadAsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>

#include <functional>

// The main window without a server: its start, its own commands, its layout, the about dialog,
// and every kind of window of the program as a screen reader user meets it, in each language.
class MainWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // No desktop applications: the home page finds no browser.
        qputenv("XDG_DATA_DIRS", m_noApps.path().toUtf8());
        useCatalogue("deutsch");
    }

    void init()
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_window = new MainWindow;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanup()
    {
        delete m_window;
        m_prompter.reset();
        useCatalogue("deutsch");
    }

    void startUpState()
    {
        ConnectionBar* bar = m_window->connectionBar();
        QCOMPARE(bar->transferMode()->currentIndex(), 2);
        QVERIFY(m_window->mainMenu()->action(QStringLiteral("mnuVerbindungTransferAUTO"))->isChecked());
        QVERIFY(m_window->mainMenu()->action(QStringLiteral("mnuVerbindungTransfertypAus"))->isChecked());
        QCOMPARE(m_window->transferType()->transferFlag(), TransferFlag::Binary);
        const QStringList lines = m_window->history()->plainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], getText("WELCOME1"));
        QVERIFY(lines[1].startsWith(getText("WELCOME2") + QLatin1Char(' ')) && lines[1].endsWith(getText("WELCOME4")));
        // The server entries of the main menu are the remote pane's own actions.
        QCOMPARE(m_window->mainMenu()->action(QStringLiteral("mnuMyServerDownload")),
                 m_window->remoteActions()->action(RemoteCommand::Download));
    }

    void missingCatalogueShowsMarkers()
    {
        delete m_window;
        TextCatalogue::instance().closeCatalogue();
        m_window = new MainWindow;
        QCOMPARE(m_window->mainMenu()->action(QStringLiteral("mnuFile"))->text(), QStringLiteral("########"));
        QVERIFY(m_window->history()->plainText().startsWith(QStringLiteral("########\n########")));
    }

    // The bar's passive box and transfer type go with their menu entries both ways, also once the
    // history was cleared (which the original took for "starting up").
    void barAndMenuStayInStep()
    {
        MainMenu* menu = m_window->mainMenu();
        QCheckBox* passive = m_window->connectionBar()->passive();
        for (const char* key : {"PASSIVE_TRANSER_ON", "PASSIVE_TRANSER_OFF"}) {
            passive->click();
            QVERIFY(m_window->history()->plainText().endsWith(getText(key) + QLatin1Char('\n')));
            QTextBlock last = m_window->history()->textEdit()->document()->lastBlock().previous();
            QCOMPARE(last.begin().fragment().charFormat().foreground().color(), QColor(0, 0, 200));
            QCOMPARE(m_window->connectionBar()->settings().ftp.passive, passive->isChecked());
            QCOMPARE(menu->action(QStringLiteral("mnuVerbindungTransfertypEin"))->isChecked(), passive->isChecked());
        }
        m_window->history()->clear();
        QComboBox* box = m_window->connectionBar()->transferMode();
        const QList<QAction*> items{menu->action(QStringLiteral("mnuVerbindungTransferASCII")),
                                    menu->action(QStringLiteral("mnuVerbindungTransferBINARY")),
                                    menu->action(QStringLiteral("mnuVerbindungTransferAUTO"))};
        for (int type : {0, 1, 2}) {
            items[type]->trigger();
            QCOMPARE(box->currentIndex(), type);
            const int next = (type + 1) % 3;
            box->setCurrentIndex(next);
            QVERIFY(items[next]->isChecked() && !items[type]->isChecked());
            QCOMPARE(m_window->transferType()->transferFlag(), next == 0 ? TransferFlag::Ascii : TransferFlag::Binary);
        }
    }

    void connectRefusesBlankAddressAndPort()
    {
        ConnectionBar* bar = m_window->connectionBar();
        bar->address()->setText(QStringLiteral("   "));
        m_window->mainMenu()->action(QStringLiteral("mnuVerbindungVerbinden"))->trigger();
        QCOMPARE(m_prompter->messages.last().text, getText("ENTER_ADRESS"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bar->address()));

        bar->address()->setText(QStringLiteral("127.0.0.1"));
        bar->port()->setText(QStringLiteral("  "));
        bar->connectAction()->trigger();
        QCOMPARE(m_prompter->messages.last().text, getText("ENTER_PORT"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bar->port()));

        bar->address()->clear();
        bar->password()->setFocus();
        QTest::keyClick(bar->password(), Qt::Key_Return);
        QCOMPARE(m_prompter->messages.last().text, getText("ENTER_HOST"));
        QCOMPARE(m_prompter->messages.size(), 3);
        // Nothing was started: the welcome lines are still there.
        QVERIFY(m_window->history()->plainText().startsWith(getText("WELCOME1")));
    }

    void fieldsLightUpWithFocus()
    {
        ConnectionBar* bar = m_window->connectionBar();
        bar->user()->setText(QStringLiteral("anna"));
        bar->user()->setFocus();
        QTRY_COMPARE(bar->user()->palette().color(QPalette::Base), QColor(255, 255, 192));
        QTRY_COMPARE(bar->user()->selectedText(), QStringLiteral("anna"));
        bar->port()->setFocus();
        QTRY_COMPARE(bar->user()->palette().color(QPalette::Base), QColor(Qt::white));
        QTRY_COMPARE(bar->port()->palette().color(QPalette::Base), QColor(255, 255, 192));
    }

    void childWindowsFollowTheMainWindow()
    {
        const auto windows = m_window->mdiArea()->subWindowList();
        QCOMPARE(windows.size(), 3);
        for (const QSize size : {QSize(1000, 700), QSize(640, 480)}) {
            m_window->resize(size);
            QTRY_COMPARE(windows[2]->width(), m_window->mdiArea()->viewport()->width());
            // Local and remote side by side, the history below them down to the gap.
            const QSize area = m_window->mdiArea()->viewport()->size();
            const int half = area.width() / 2;
            const int top = windows[2]->y();
            QCOMPARE((QList<QRect>{windows[0]->geometry(), windows[1]->geometry(), windows[2]->geometry()}),
                     (QList<QRect>{QRect(0, 0, half, top), QRect(half, 0, half, top),
                                   QRect(0, top, area.width(), area.height() - ChildWindowLayout::bottomGap - top)}));
        }
    }

    void asciiButtonAndMenuShowTheList()
    {
        ConnectionBar* bar = m_window->connectionBar();
        bar->setFieldsEnabled(false);
        bar->asciiAction()->trigger();
        QVERIFY(bar->address()->isEnabled() && bar->port()->isEnabled());
        closeAsciiList();
        m_window->mainMenu()->action(QStringLiteral("mnuVerbindungASCIIListe"))->trigger();
        closeAsciiList();
    }

    void homepageWithoutBrowser()
    {
        m_window->mainMenu()->action(QStringLiteral("mnuInfoWebHomepage"))->trigger();
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].text, QStringLiteral("Could not find any web browser!"));
        QCOMPARE(m_prompter->messages[0].icon, PromptIcon::Information);
    }

    void closingClosesTheCatalogue()
    {
        QVERIFY(m_window->close());
        m_window = nullptr; // deleted on close
        QVERIFY(!TextCatalogue::instance().isOpen());
    }

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
        AboutDialog dialog;
        dialog.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->click();
        qputenv("PATH", path);
        if (installed) {
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), jobTimeout);
            QVERIFY(m_prompter->messages.isEmpty());
            return;
        }
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].text, QStringLiteral("Systeminformationen sind momentan nicht verfügbar"));
    }

    void everyWindowSpeaksToScreenReaders_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("window");
        for (const auto& language : TextCatalogue::instance().languages()) {
            for (const char* window : {"frmStart", "mdiMain", "frmInfo", "frmASCIIListe", "frmUploadAls",
                                       "frmDownloadAls", "frmProperties", "frmOpenWith", "frmSites"})
                QTest::addRow("%s/%s", qPrintable(language.table), window)
                    << language.table << QString::fromLatin1(window);
        }
    }

    void everyWindowSpeaksToScreenReaders()
    {
        QFETCH(QString, window);
        TextCatalogue::instance().setChosenTable(testData<QString>("language"));
        CountingTypeProvider types;
        FileEntry entry;
        entry.name = QStringLiteral("notes.txt");
        const QString path = QStringLiteral(LANG_DB_PATH);
        SiteBook sites;
        const QHash<QString, std::function<QWidget*()>> makers{
            {QStringLiteral("frmStart"), [] { return new StartDialog; }},
            {QStringLiteral("frmInfo"), [] { return new AboutDialog; }},
            {QStringLiteral("frmASCIIListe"), [] { return new AsciiListDialog; }},
            {QStringLiteral("frmUploadAls"), [&] { return new UploadAsDialog(entry, &types); }},
            {QStringLiteral("frmDownloadAls"), [&] { return new DownloadAsDialog({entry.name, {}, {}}, types); }},
            {QStringLiteral("frmProperties"), [&] { return new PropertiesDialog(path); }},
            {QStringLiteral("frmOpenWith"), [&] { return new ApplicationChooser(path); }},
            {QStringLiteral("frmSites"), [&] { return new SiteManagerDialog(sites); }},
            {QStringLiteral("mdiMain"), [] { return new MainWindow; }}};
        std::unique_ptr<QWidget> widget(makers.value(window)());
        widget->setAttribute(Qt::WA_DeleteOnClose, false);
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        QCOMPARE(AccessibilityAudit::problems(widget.get()), QStringList());
    }

private:
    // The list is shown modally and closes with Cancel; it is gone afterwards.
    void closeAsciiList()
    {
        auto* dialog = m_window->findChild<QDialog*>(QStringLiteral("frmASCIIListe"));
        QVERIFY(dialog && dialog->isVisible() && dialog->isModal());
        dialog->findChild<QPushButton*>(QStringLiteral("cmdAbbrechen"))->click();
        QTRY_VERIFY(!m_window->findChild<QDialog*>(QStringLiteral("frmASCIIListe")));
    }

    QTemporaryDir m_noApps;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    MainWindow* m_window = nullptr;
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
