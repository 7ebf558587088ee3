#include "ConnectionBar.h"
#include "ConnectionController.h"
#include "MainMenu.h"
#include "MainWindow.h"
#include "RemotePane.h"
#include "ScriptedPrompter.h"
#include "SessionRunner.h"
#include "TestHelpers.h"
#include "TransferHistory.h"
#include "VsftpdFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QThread>

namespace {

// The history as "colour<TAB>text" lines, the colour as its RGB name.
QStringList historyLines(const TransferHistory& history)
{
    QStringList lines;
    for (QTextBlock block = history.textEdit()->document()->begin(); block.isValid(); block = block.next()) {
        if (!block.text().isEmpty())
            lines.append(historyLine(block.begin().fragment().charFormat().foreground().color().name(), block.text()));
    }
    return lines;
}

QString closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return QString::number(probe.serverPort()); // free again once probe is gone
}

} // namespace

// The connect commands, re-connection, the connection watch and the stop command of the main
// window against a real server.
class ConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        useCatalogue("deutsch");
        QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("pub/docs")));
    }

    void init()
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_window = std::make_unique<MainWindow>();
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
        m_window->show();
    }

    void cleanup()
    {
        m_window.reset();
        m_server.reset();
        m_prompter.reset();
    }

    void connectWritesTwoLines_data()
    {
        QTest::addColumn<bool>("passive");
        QTest::addColumn<bool>("onEnter");
        QTest::newRow("menu, passive") << true << false;
        QTest::newRow("enter, active") << false << true;
    }

    void connectWritesTwoLines()
    {
        QFETCH(bool, passive);
        QFETCH(bool, onEnter);
        QVERIFY(startServer());
        bar()->port()->setText(QStringLiteral(" %1 ").arg(m_server->port()));
        if (passive)
            bar()->passive()->click();
        if (onEnter) {
            bar()->password()->setFocus();
            QTest::keyClick(bar()->password(), Qt::Key_Return);
            QVERIFY(!bar()->address()->isEnabled() && bar()->port()->isEnabled());
        } else {
            bar()->connectAction()->trigger();
            QVERIFY(!bar()->address()->isEnabled() && !bar()->port()->isEnabled());
        }
        QVERIFY(waitIdle(*runner()));
        QVERIFY(m_prompter->messages.isEmpty());
        QVERIFY(runner()->isConnected() && m_window->connection()->watch().isActive());
        QVERIFY(bar()->address()->isEnabled() && bar()->port()->isEnabled());
        const QString established = onEnter
            ? getText("CONNECTION_WITH") + QStringLiteral(" 127.0.0.1 ") + getText("WAS_ESTABLISHT")
            : getText("CONNECTION_TO") + QStringLiteral(" 127.0.0.1 ") + getText("ESTABLSHED");
        QCOMPARE(historyLines(*m_window->history()),
                 QStringList({historyKey("#000000", "CONNECT_WITH", QStringLiteral("127.0.0.1 ...")),
                              historyLine("#00c800", established),
                              // The test server speaks no TLS; the default "TLS if available" says so in blue.
                              historyKey("#0000c8", "TLS_PLAIN")}));
        QCOMPARE(serverFolder(*runner()), QStringLiteral("/"));
        // The remote pane shows the server's root folder; the progress bar shows only while work runs.
        QTRY_COMPARE(namesOf(m_window->remotePane()->rows()), strings({"..", "pub"}));
        QVERIFY(!m_window->progressBar()->isVisible());
    }

    void failuresShowTheirMessage_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("onEnter");
        QTest::addColumn<QStringList>("keys");
        const QStringList menuKeys = strings({"NOT_ESTABLISHED", "SPELLING", "PROVIDER"});
        const QStringList enterKeys = strings({"NO_CONNECTION", "CHECK_PROVIDER"});
        QTest::newRow("menu, wrong password") << "wrong" << "" << false << menuKeys;
        QTest::newRow("menu, port not a number")
            << FtpServerFixture::password() << "einundzwanzig" << false << menuKeys;
        QTest::newRow("menu, nobody listening") << FtpServerFixture::password() << closedPort() << false << menuKeys;
        QTest::newRow("enter, wrong password") << "wrong" << "" << true << enterKeys;
        QTest::newRow("enter, empty port") << FtpServerFixture::password() << "  " << true << enterKeys;
    }

    void failuresShowTheirMessage()
    {
        QFETCH(QString, port);
        QVERIFY(startServer());
        if (!port.isEmpty())
            bar()->port()->setText(port);
        bar()->password()->setText(testData<QString>("password"));
        if (testData<bool>("onEnter"))
            Q_EMIT bar()->connectOnEnterRequested();
        else
            bar()->connectAction()->trigger();
        QVERIFY(waitIdle(*runner()));
        QStringList texts;
        for (const QString& key : testData<QStringList>("keys"))
            texts.append(getText(key.toLatin1().constData()));
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].text, texts.join(QLatin1Char('\n')));
        QCOMPARE(m_prompter->messages[0].icon, PromptIcon::Exclamation);
        QVERIFY(m_window->history()->plainText().isEmpty());
        QVERIFY(!runner()->isConnected());
        QVERIFY(bar()->address()->isEnabled() && bar()->port()->isEnabled());
    }

    void reconnectKeepsALiveConnectionAndSaysWhenItFails()
    {
        QVERIFY(connectToServer());
        runner()->start([](JobContext& context) { context.session().ftpSetDir(QStringLiteral("pub/docs")); });
        QCOMPARE(serverFolder(*runner()), QStringLiteral("/pub/docs"));
        // The connection answers, so it is kept: the values in the bar are not even tried.
        bar()->port()->setText(closedPort());
        m_window->connection()->reconnect();
        QCOMPARE(serverFolder(*runner()), QStringLiteral("/"));
        QVERIFY(m_prompter->messages.isEmpty());

        // A connection that is gone is made again from the bar's values; they fail here.
        runner()->start([](JobContext& context) { context.session().closeConnection(); });
        m_window->connection()->reconnect();
        QVERIFY(waitIdle(*runner()));
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].text, getText("MPUB_NOCONN1") + QLatin1Char('\n') + getText("MPUB_NOCONN2")
                                                   + QLatin1Char('\n') + getText("MPUB_NOCONN3"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bar()->address()));
        QVERIFY(!runner()->isConnected());
    }

    void watchAsksOnceWhenTheServerGoes_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No") << false;
        QTest::newRow("Yes: connected again") << true;
    }

    void watchAsksOnceWhenTheServerGoes()
    {
        QFETCH(bool, yes);
        FtpServerFixture::Options options;
        options.dropAfterCommands = yes ? 12 : 0; // a server that drops the connection, or one that ends
        QVERIFY(connectToServer(options));
        if (!yes)
            m_server->stop();
        m_prompter->messageAnswers.enqueue(yes ? PromptAnswer::Yes : PromptAnswer::No);
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter->messages.size(), 1, jobTimeout);
        QCOMPARE(m_prompter->messages[0].text,
                 getText("CONNECTION_CANCEL1") + QLatin1Char('\n') + getText("CONNECTION_CANCEL2"));
        QCOMPARE(m_prompter->messages[0].buttons, PromptButtons::YesNo);
        // Not asked again until the next successful connect: the watch is off.
        QVERIFY(!m_window->connection()->watch().isActive());
        if (yes) {
            QTRY_VERIFY_WITH_TIMEOUT(runner()->isConnected() && !runner()->isBusy(), jobTimeout);
            QCOMPARE(serverFolder(*runner()), QStringLiteral("/"));
            return;
        }
        QVERIFY(connectToServer());
        QVERIFY(m_window->connection()->watch().isActive());
    }

    void stopEndsTheRunningJobAndDropsTheWaitingOnes()
    {
        QVERIFY(connectToServer());
        QAction* stop = m_window->mainMenu()->action(AppCommand::Stop);
        QVERIFY(!stop->isEnabled());

        // A job that reports progress and works until it is stopped, and one that waits behind it.
        std::atomic<bool> started{false};
        runner()->start([&started](JobContext& context) {
            context.progress(1, 4);
            started = true;
            QDeadlineTimer limit(jobTimeout);
            while (!context.isCancelled() && !limit.hasExpired())
                QThread::msleep(10);
        });
        bool waitingRan = false;
        QString waitingResult = QStringLiteral("not called");
        runner()->start<QString>(
            [&waitingRan](JobContext&) {
                waitingRan = true;
                return QStringLiteral("ran");
            },
            [&waitingResult](QString result) { waitingResult = result; });
        QTRY_VERIFY_WITH_TIMEOUT(started && stop->isEnabled() && m_window->progressBar()->isVisible(), jobTimeout);
        stop->trigger();
        QVERIFY(waitIdle(*runner()));
        QVERIFY(!waitingRan);
        QCOMPARE(waitingResult, QString());
        QCOMPARE(historyLines(*m_window->history()).last(), historyKey("#c80000", "MPUB_STOPPED"));
        QVERIFY(!stop->isEnabled() && !m_window->progressBar()->isVisible());
        QVERIFY(runner()->isConnected());

        // Connecting again while a job runs stops it first, without the stop line.
        started = false;
        runner()->start([&started](JobContext& context) {
            started = true;
            while (!context.isCancelled())
                QThread::msleep(10);
        });
        QTRY_VERIFY_WITH_TIMEOUT(started, jobTimeout);
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle(*runner()));
        QCOMPARE(historyLines(*m_window->history()).size(), 3); // connecting, connected, unencrypted
        QVERIFY(m_prompter->messages.isEmpty());
    }

    // The connection bar's encryption choice and the certificate question, as the user sees them.
    void encryptedConnectAsksAboutTheCertificateOnce_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("connects");
        QTest::newRow("cancel") << int(PromptAnswer::Third) << false;
        QTest::newRow("trust always") << int(PromptAnswer::First) << true;
    }

    void encryptedConnectAsksAboutTheCertificateOnce()
    {
        QFETCH(int, answer);
        QFETCH(bool, connects);
        VsftpdFixture server;
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        bar()->address()->setText(server.host());
        bar()->user()->setText(QStringLiteral("anonymous"));
        bar()->port()->setText(server.portText());
        bar()->passive()->setChecked(true);
        bar()->encryption()->setCurrentIndex(int(ConnectionSettings::Encryption::Required));
        QCOMPARE(bar()->settings().encryption, ConnectionSettings::Encryption::Required);

        m_prompter->messageAnswers.enqueue(PromptAnswer(answer));
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle(*runner()));
        QCOMPARE(m_prompter->messages.size(), connects ? 1 : 2); // the question; then, refused, "no connection"
        const MessageRequest& question = m_prompter->messages[0];
        QCOMPARE(question.buttons, PromptButtons::ThreeChoices);
        QCOMPARE(question.choiceTexts, QStringList({getText("CERT_ALWAYS"), getText("CERT_ONCE"), getText("CERT_CANCEL")}));
        QVERIFY(question.text.contains(CertificateInfo::formatFingerprint(server.certificateSha256())));
        QVERIFY(question.text.contains(getText("CERT_SELFSIGNED")));
        QCOMPARE(runner()->isConnected(), connects);
        const QStringList lines = historyLines(*m_window->history());
        QVERIFY(lines.last().startsWith(historyKey(connects ? "#00c800" : "#c80000", connects ? "TLS_ENCRYPTED" : "TLS_CERTREFUSED")));
        if (!connects)
            return;

        // Trusted always: the next connect asks nothing.
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle(*runner()));
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY(runner()->isConnected());
    }

    void closingEndsAJobThatWaits()
    {
        // A server that accepts and then never says a word.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        bar()->address()->setText(QStringLiteral("127.0.0.1"));
        bar()->port()->setText(QString::number(silent.serverPort()));
        bar()->connectAction()->trigger();
        QTRY_VERIFY(silent.hasPendingConnections() || runner()->isBusy());
        QElapsedTimer timer;
        timer.start();
        m_window->close();
        m_window.reset();
        // A hang check, not a speed measurement: the thread must not wait for the server.
        QVERIFY2(timer.elapsed() < 10'000, qPrintable(QString::number(timer.elapsed())));
    }

private:
    ConnectionBar* bar() const { return m_window->connectionBar(); }
    SessionRunner* runner() const { return m_window->runner(); }

    // Serves the folder and fills the bar with its values.
    bool startServer(const FtpServerFixture::Options& options = {})
    {
        m_server = std::make_unique<FtpServerFixture>(options);
        if (!m_server->start(m_root.path()))
            return false;
        bar()->address()->setText(m_server->host());
        bar()->user()->setText(FtpServerFixture::user());
        bar()->password()->setText(FtpServerFixture::password());
        bar()->port()->setText(m_server->portText());
        return true;
    }

    bool connectToServer(const FtpServerFixture::Options& options = {})
    {
        if (!startServer(options))
            return false;
        bar()->connectAction()->trigger();
        return waitIdle(*runner()) && runner()->isConnected();
    }

    QTemporaryDir m_root;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<FtpServerFixture> m_server;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
