#include "ConnectionBar.h"
#include "ConnectionController.h"
#include "FtpServerFixture.h"
#include "FtpSession.h"
#include "JobContext.h"
#include "MainMenu.h"
#include "MainWindow.h"
#include "RemotePane.h"
#include "ScriptedPrompter.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"
#include "TransferHistory.h"
#include "VsftpdFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QThread>

namespace {

QList<QPair<QString, QColor>> historyLines(const TransferHistory& history)
{
    QList<QPair<QString, QColor>> lines;
    for (QTextBlock block = history.textEdit()->document()->begin(); block.isValid(); block = block.next()) {
        if (!block.text().isEmpty())
            lines.append({block.text(), block.begin().fragment().charFormat().foreground().color()});
    }
    return lines;
}

} // namespace

// The connect commands, re-connection and the connection watch against a real server.
class ConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
        QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("pub/docs")));
    }

    void init()
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_window = new MainWindow;
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
        m_window->show();
    }

    void cleanup()
    {
        delete m_window;
        m_prompter.reset();
    }

    void connectWritesTwoLines_data()
    {
        QTest::addColumn<bool>("passive");
        QTest::addColumn<bool>("onEnter");
        QTest::newRow("menu, active") << false << false;
        QTest::newRow("menu, passive") << true << false;
        QTest::newRow("enter, active") << false << true;
    }

    void connectWritesTwoLines()
    {
        QFETCH(bool, passive);
        QFETCH(bool, onEnter);
        FtpServerFixture server;
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        fillBar(server, QStringLiteral(" %1 ").arg(server.port()));
        if (passive)
            bar()->passive()->click();
        if (onEnter) {
            bar()->password()->setFocus();
            QTest::keyClick(bar()->password(), Qt::Key_Return);
            QVERIFY(!bar()->address()->isEnabled());
            QVERIFY(bar()->port()->isEnabled());
        } else {
            bar()->connectAction()->trigger();
            QVERIFY(!bar()->address()->isEnabled() && !bar()->port()->isEnabled());
        }
        QVERIFY(waitIdle());
        QVERIFY(m_prompter->messages.isEmpty());
        QVERIFY(m_window->runner()->isConnected());
        QVERIFY(m_window->connection()->watch().isActive());
        QVERIFY(bar()->address()->isEnabled() && bar()->port()->isEnabled());
        const auto lines = historyLines(*m_window->history());
        // The test server speaks no TLS; the default "TLS if available" says so in blue.
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[2].first, getText("TLS_PLAIN"));
        QCOMPARE(lines[2].second, QColor(0, 0, 200));
        QCOMPARE(lines[0].first, getText("CONNECT_WITH") + QStringLiteral(" 127.0.0.1 ..."));
        QCOMPARE(lines[0].second, QColor(0, 0, 0));
        const QString success = onEnter ? getText("CONNECTION_WITH") + QStringLiteral(" 127.0.0.1 ") + getText("WAS_ESTABLISHT")
                                        : getText("CONNECTION_TO") + QStringLiteral(" 127.0.0.1 ") + getText("ESTABLSHED");
        QCOMPARE(lines[1].first, success);
        QCOMPARE(lines[1].second, QColor(0, 200, 0));
        QCOMPARE(currentDir(), QStringLiteral("/"));
        // The remote pane shows the server's root folder.
        QTRY_COMPARE(m_window->remotePane()->rows().size(), 2);
        QCOMPARE(m_window->remotePane()->rows()[0].name, QStringLiteral(".."));
        QCOMPARE(m_window->remotePane()->rows()[1].name, QStringLiteral("pub"));
    }

    void failuresShowTheirMessage_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("onEnter");
        QTest::addColumn<QStringList>("keys");
        const QStringList menuKeys = {QStringLiteral("NOT_ESTABLISHED"), QStringLiteral("SPELLING"), QStringLiteral("PROVIDER")};
        const QStringList enterKeys = {QStringLiteral("NO_CONNECTION"), QStringLiteral("CHECK_PROVIDER")};
        QTest::newRow("menu, wrong password") << "wrong" << "" << false << menuKeys;
        QTest::newRow("menu, port not a number") << FtpServerFixture::password() << "einundzwanzig" << false << menuKeys;
        QTest::newRow("menu, nobody listening") << FtpServerFixture::password() << "closed" << false << menuKeys;
        QTest::newRow("enter, wrong password") << "wrong" << "" << true << enterKeys;
        QTest::newRow("enter, empty port") << FtpServerFixture::password() << "  " << true << enterKeys;
    }

    void failuresShowTheirMessage()
    {
        QFETCH(QString, password);
        QFETCH(QString, port);
        QFETCH(bool, onEnter);
        QFETCH(QStringList, keys);
        FtpServerFixture server;
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        fillBar(server, port.isEmpty() ? server.portText() : port == QLatin1String("closed") ? closedPort() : port);
        bar()->password()->setText(password);
        if (onEnter)
            Q_EMIT bar()->connectOnEnterRequested();
        else
            bar()->connectAction()->trigger();
        QVERIFY(waitIdle());
        QCOMPARE(m_prompter->messages.size(), 1);
        QStringList texts;
        for (const QString& key : keys)
            texts.append(getText(key));
        QCOMPARE(m_prompter->messages[0].text, texts.join(QLatin1Char('\n')));
        QCOMPARE(m_prompter->messages[0].icon, PromptIcon::Exclamation);
        QVERIFY(m_window->history()->plainText().isEmpty());
        QVERIFY(!m_window->runner()->isConnected());
        QVERIFY(bar()->address()->isEnabled() && bar()->port()->isEnabled());
        QVERIFY(!server.serverLog().contains(password) || password == QLatin1String("wrong"));
    }

    void reconnectReturnsToRoot()
    {
        FtpServerFixture server;
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        fillBar(server, server.portText());
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle());
        m_window->runner()->start([](JobContext& context) { context.session().ftpSetDir(QStringLiteral("pub/docs")); });
        QCOMPARE(currentDir(), QStringLiteral("/pub/docs"));
        // The connection answers, so it is kept: the values in the bar are not even tried.
        bar()->port()->setText(closedPort());
        m_window->connection()->reconnect();
        QCOMPARE(currentDir(), QStringLiteral("/"));
        QVERIFY(m_prompter->messages.isEmpty());
    }

    void failedReconnectSaysSo()
    {
        FtpServerFixture server;
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        fillBar(server, server.portText());
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle());
        bar()->port()->setText(closedPort());
        // A connection that still answers would be kept; this one is gone.
        m_window->runner()->start([](JobContext& context) { context.session().closeConnection(); });
        m_window->connection()->reconnect();
        QVERIFY(waitIdle());
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].text, getText("MPUB_NOCONN1") + QLatin1Char('\n') + getText("MPUB_NOCONN2")
                                                   + QLatin1Char('\n') + getText("MPUB_NOCONN3"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(bar()->address()));
        QVERIFY(!m_window->runner()->isConnected());
    }

    void watchAsksOnceWhenTheServerGoes()
    {
        FtpServerFixture server;
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        fillBar(server, server.portText());
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle());
        QVERIFY(m_window->connection()->watch().isActive());
        server.stop();
        m_prompter->messageAnswers.enqueue(PromptAnswer::No);
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter->messages.size(), 1, 10000);
        QCOMPARE(m_prompter->messages[0].text,
                 getText("CONNECTION_CANCEL1") + QLatin1Char('\n') + getText("CONNECTION_CANCEL2"));
        QCOMPARE(m_prompter->messages[0].buttons, PromptButtons::YesNo);
        QCOMPARE(m_prompter->messages[0].icon, PromptIcon::None);
        // Not asked again until the next successful connect: the watch is off.
        QVERIFY(!m_window->connection()->watch().isActive());

        FtpServerFixture second;
        QVERIFY2(second.start(m_root.path()), qPrintable(second.errorText()));
        bar()->port()->setText(second.portText());
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle());
        QVERIFY(m_window->connection()->watch().isActive());
    }

    void watchAnsweredYesReconnects()
    {
        FtpServerFixture::Options options;
        options.dropAfterCommands = 12;
        FtpServerFixture server(options);
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        fillBar(server, server.portText());
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle());
        m_prompter->messageAnswers.enqueue(PromptAnswer::Yes);
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter->messages.size(), 1, 20000);
        QTRY_VERIFY(m_window->runner()->isConnected() && !m_window->runner()->isBusy());
        QCOMPARE(currentDir(), QStringLiteral("/"));
        QVERIFY(!m_window->connection()->watch().isActive());
    }

    void stopEndsTheRunningJobAndDropsTheWaitingOnes()
    {
        FtpServerFixture server;
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        fillBar(server, server.portText());
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle());
        QAction* stop = m_window->mainMenu()->action(AppCommand::Stop);
        QVERIFY(!stop->isEnabled());

        // A job that works until it is stopped, and one that waits behind it.
        std::atomic<bool> started{false};
        m_window->runner()->start([&started](JobContext& context) {
            started = true;
            QDeadlineTimer limit(20000);
            while (!context.isCancelled() && !limit.hasExpired())
                QThread::msleep(10);
        });
        bool waitingRan = false;
        QString waitingResult = QStringLiteral("not called");
        m_window->runner()->start<QString>(
            [&waitingRan](JobContext&) {
                waitingRan = true;
                return QStringLiteral("ran");
            },
            [&waitingResult](QString result) { waitingResult = result; });
        QTRY_VERIFY(started && stop->isEnabled());
        stop->trigger();
        QVERIFY(waitIdle());
        QVERIFY(!waitingRan);
        QCOMPARE(waitingResult, QString());
        const auto lines = historyLines(*m_window->history());
        QCOMPARE(lines.last(), (QPair<QString, QColor>{getText("MPUB_STOPPED"), QColor(200, 0, 0)}));
        QVERIFY(!stop->isEnabled());
        QVERIFY(m_window->runner()->isConnected());

        // Connecting again while a job runs stops it first, without the stop line.
        started = false;
        m_window->runner()->start([&started](JobContext& context) {
            started = true;
            while (!context.isCancelled())
                QThread::msleep(10);
        });
        QTRY_VERIFY(started);
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle());
        const auto afterConnect = historyLines(*m_window->history());
        QVERIFY(!afterConnect.isEmpty());
        QCOMPARE(afterConnect.first().first, getText("CONNECT_WITH") + QStringLiteral(" ") + bar()->address()->text()
                                                 + QStringLiteral(" ..."));
        for (const auto& line : afterConnect)
            QVERIFY(line.first != getText("MPUB_STOPPED"));
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
        QVERIFY(waitIdle());
        QCOMPARE(m_prompter->messages.size(), connects ? 1 : 2); // the question; then, refused, "no connection"
        const MessageRequest& question = m_prompter->messages[0];
        QCOMPARE(question.buttons, PromptButtons::ThreeChoices);
        QCOMPARE(question.choiceTexts, QStringList({getText("CERT_ALWAYS"), getText("CERT_ONCE"), getText("CERT_CANCEL")}));
        QVERIFY(question.text.contains(CertificateInfo::formatFingerprint(server.certificateSha256())));
        QVERIFY(question.text.contains(getText("CERT_SELFSIGNED")));
        QCOMPARE(m_window->runner()->isConnected(), connects);
        const auto lines = historyLines(*m_window->history());
        QCOMPARE(lines.last().first.startsWith(getText(connects ? "TLS_ENCRYPTED" : "TLS_CERTREFUSED")), true);
        if (!connects)
            return;

        // Trusted always: the next connect asks nothing.
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle());
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY(m_window->runner()->isConnected());
    }

    void closingEndsAJobThatWaits()
    {
        // A server that accepts and then never says a word.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        bar()->address()->setText(QStringLiteral("127.0.0.1"));
        bar()->port()->setText(QString::number(silent.serverPort()));
        bar()->connectAction()->trigger();
        QTRY_VERIFY(silent.hasPendingConnections() || m_window->runner()->isBusy());
        QElapsedTimer timer;
        timer.start();
        m_window->close();
        delete m_window;
        m_window = nullptr;
        // A hang check, not a speed measurement: the thread must not wait for the server.
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    }

private:
    ConnectionBar* bar() const { return m_window->connectionBar(); }

    void fillBar(const FtpServerFixture& server, const QString& port)
    {
        bar()->address()->setText(server.host());
        bar()->user()->setText(FtpServerFixture::user());
        bar()->password()->setText(FtpServerFixture::password());
        bar()->port()->setText(port);
    }

    static QString closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return QString::number(probe.serverPort()); // free again once probe is gone
    }

    bool waitIdle()
    {
        QSignalSpy idle(m_window->runner(), &JobRunner::idle);
        if (!m_window->runner()->isBusy())
            return true;
        return idle.wait(30000);
    }

    QString currentDir()
    {
        QString dir;
        bool done = false;
        m_window->runner()->start<QString>([](JobContext& context) { return context.session().ftpCurrentDir(); },
                                           [&](QString result) {
                                               dir = result;
                                               done = true;
                                           });
        if (!QTest::qWaitFor([&done] { return done; }, 20000))
            return QStringLiteral("(no answer)");
        return dir;
    }

    QTemporaryDir m_root;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    MainWindow* m_window = nullptr;
};

QTEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
