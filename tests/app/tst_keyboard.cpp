#include "ConnectionBar.h"
#include "FtpServerFixture.h"
#include "LocalPane.h"
#include "MainWindow.h"
#include "RemotePane.h"
#include "ScriptedPrompter.h"
#include "SessionRunner.h"
#include "TestHelpers.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeView>

// Connect, browse and download with the keyboard alone, as a user without a mouse does.
class KeyboardTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The local pane starts in the home folder: make it a private one, the download's target.
        qputenv("HOME", m_home.path().toUtf8());
        useCatalogue("english");
        QVERIFY(writeFile(m_root.filePath(QStringLiteral("docs/readme.txt")), "read me\r\n"));
        QVERIFY(writeFile(m_root.filePath(QStringLiteral("hello.txt")), "hello"));
    }

    void connectBrowseDownload()
    {
        ScriptedPrompter prompter;
        FtpServerFixture server;
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        MainWindow window;
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.localPane()->currentFolderPath(), m_home.path() + QLatin1Char('/'));

        // The focus starts in the address field; Tab moves through the connection bar.
        QTRY_COMPARE(focus(), static_cast<QWidget*>(window.connectionBar()->address()));
        QTest::keyClicks(focus(), server.host());
        QTest::keyClick(focus(), Qt::Key_Tab);
        QTest::keyClicks(focus(), FtpServerFixture::user());
        QTest::keyClick(focus(), Qt::Key_Tab);
        QTest::keyClicks(focus(), FtpServerFixture::password());
        QTest::keyClick(focus(), Qt::Key_Tab);
        QTRY_COMPARE(focus(), static_cast<QWidget*>(window.connectionBar()->port()));
        QTRY_COMPARE(window.connectionBar()->port()->selectedText(), QStringLiteral("21"));
        QTest::keyClicks(focus(), server.portText());
        QTest::keyClick(focus(), Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(focus(), Qt::Key_Return); // Enter in the password field connects
        QTRY_COMPARE_WITH_TIMEOUT(window.remotePane()->rows().size(), 3, jobTimeout);
        QVERIFY(prompter.messages.isEmpty());

        // F6 moves from the connection bar to the local list, then to the remote list.
        QTest::keyClick(focus(), Qt::Key_F6);
        QTRY_COMPARE(focus()->objectName(), QStringLiteral("lsvDirFile"));
        QTest::keyClick(focus(), Qt::Key_F6);
        QTreeView* list = window.remotePane()->listView()->detailView();
        QTRY_COMPARE(focus(), static_cast<QWidget*>(list));

        // Rows: "..", "docs", "hello.txt". Down to the folder, Enter goes into it.
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(window.remotePane()->currentName(), QStringLiteral("docs"));
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(window.remotePane()->rows()), strings({"..", "readme.txt"}), jobTimeout);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(window.remotePane()->selectedRows().size(), 1);

        // Ctrl+F2 downloads the selection into the local pane's folder.
        QTest::keyClick(list, Qt::Key_F2, Qt::ControlModifier);
        const QString target = m_home.filePath(QStringLiteral("readme.txt"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target), jobTimeout);
        QVERIFY(waitIdle(*window.runner()));
        QCOMPARE(readFile(target), QByteArray("read me\r\n"));
        QVERIFY(prompter.messages.isEmpty());
    }

private:
    static QWidget* focus() { return QApplication::focusWidget(); }

    QTemporaryDir m_home;
    QTemporaryDir m_root;
};

QTEST_MAIN(KeyboardTest)
#include "tst_keyboard.moc"
