#include "ChildWindowLayout.h"
#include "ConnectionBar.h"
#include "MainMenu.h"
#include "MainWindow.h"
#include "RemoteActions.h"
#include "ScriptedPrompter.h"
#include "TestHelpers.h"
#include "TransferHistory.h"
#include "TransferTypeSelector.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>

// The main window without a server: its start, its own commands and its layout.
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
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
    }

    void startUpState()
    {
        ConnectionBar* bar = m_window->connectionBar();
        QCOMPARE(bar->port()->text(), QStringLiteral("21"));
        QCOMPARE(bar->transferMode()->currentIndex(), 2);
        QVERIFY(m_window->mainMenu()->action(QStringLiteral("mnuVerbindungTransferAUTO"))->isChecked());
        QVERIFY(m_window->mainMenu()->action(QStringLiteral("mnuVerbindungTransfertypAus"))->isChecked());
        QCOMPARE(m_window->transferType()->transferFlag(), TransferFlag::Binary);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bar->address()));
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

    void passiveClicksWriteBlueLines()
    {
        QCheckBox* passive = m_window->connectionBar()->passive();
        for (const char* key : {"PASSIVE_TRANSER_ON", "PASSIVE_TRANSER_OFF"}) {
            passive->click();
            QVERIFY(m_window->history()->plainText().endsWith(getText(key) + QLatin1Char('\n')));
            QTextBlock last = m_window->history()->textEdit()->document()->lastBlock().previous();
            QCOMPARE(last.begin().fragment().charFormat().foreground().color(), QColor(0, 0, 200));
            QCOMPARE(m_window->connectionBar()->settings().passive, passive->isChecked());
            QCOMPARE(m_window->mainMenu()->action(QStringLiteral("mnuVerbindungTransfertypEin"))->isChecked(),
                     passive->isChecked());
        }
    }

    void connectRefusesBlankAddressAndPort()
    {
        ConnectionBar* bar = m_window->connectionBar();
        bar->address()->setText(QStringLiteral("   "));
        m_window->mainMenu()->action(QStringLiteral("mnuVerbindungVerbinden"))->trigger();
        QCOMPARE(m_prompter->messages.last().text, getText("ENTER_ADRESS"));
        QCOMPARE(m_prompter->messages.last().icon, PromptIcon::Critical);
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
        for (const QSize size : {QSize(1000, 700), QSize(640, 480)}) {
            m_window->resize(size);
            QTRY_COMPARE(m_window->mdiArea()->subWindowList()[2]->geometry().width(),
                         m_window->mdiArea()->viewport()->width());
            const QSize area = m_window->mdiArea()->viewport()->size();
            const auto windows = m_window->mdiArea()->subWindowList();
            QCOMPARE(windows.size(), 3);
            const QRect local = windows[0]->geometry();
            const QRect remote = windows[1]->geometry();
            const QRect history = windows[2]->geometry();
            QCOMPARE(local.width(), area.width() / 2);
            QCOMPARE(remote.left(), local.width());
            QCOMPARE(remote.width(), area.width() / 2);
            QCOMPARE(history.bottom() + 1 + ChildWindowLayout::bottomGap, area.height());
            QCOMPARE(local.bottom() + 1, history.top());
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
