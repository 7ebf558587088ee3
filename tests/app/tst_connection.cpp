#include "CertificateQuestion.h"
#include "ConnectionBar.h"
#include "ConnectionController.h"
#include "EntryListModel.h"
#include "LocalActions.h"
#include "LocalCommands.h"
#include "LocalPane.h"
#include "MainMenu.h"
#include "MainWindow.h"
#include "QueueProcessor.h"
#include "RemoteActions.h"
#include "RemoteCommands.h"
#include "RemotePane.h"
#include "ScriptedPrompter.h"
#include "SessionRunner.h"
#include "TestHelpers.h"
#include "TransferHistory.h"
#include "TransferQueue.h"
#include "UploadCommands.h"
#include "VsftpdFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QThread>
#include <QTreeView>

Q_DECLARE_METATYPE(Protocol)

namespace {

// The lines of a connect that worked: the test servers speak no TLS, and the default "TLS if
// available" says so in blue.
QStringList connectedLines(const QString& established)
{
    return {historyKey("#000000", "CONNECT_WITH", QStringLiteral("127.0.0.1 ...")), historyLine("#00c800", established),
            historyKey("#0000c8", "TLS_PLAIN")};
}

QString closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return QString::number(probe.serverPort()); // free again once probe is gone
}

} // namespace

// The connect commands, re-connection, the connection watch, the stop command, a session with the
// keyboard alone, and working across the panes, in the main window against a real server.
class ConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The local pane starts in the home folder: make it a private one, the download's target.
        qputenv("HOME", m_home.path().toUtf8());
        useCatalogue("deutsch");
        QVERIFY(writeFile(m_root.filePath(QStringLiteral("pub/readme.txt")), "read me\r\n"));
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

    void connectFromTheMenu()
    {
        QVERIFY(startServer());
        bar()->port()->setText(QStringLiteral(" %1 ").arg(m_server->port()));
        bar()->passive()->click();
        bar()->connectAction()->trigger();
        QVERIFY(!bar()->address()->isEnabled() && !bar()->port()->isEnabled());
        QVERIFY(waitIdle(*runner()));
        QVERIFY(m_prompter->messages.isEmpty());
        QVERIFY(runner()->isConnected() && m_window->connection()->watch().isActive());
        QVERIFY(bar()->address()->isEnabled() && bar()->port()->isEnabled());
        const QString established = getText("CONNECTION_TO") + QStringLiteral(" 127.0.0.1 ") + getText("ESTABLSHED");
        QCOMPARE(historyLines(), connectedLines(established));
        QCOMPARE(serverFolder(*runner()), QStringLiteral("/"));
        // The remote pane shows the server's root folder; the progress bar shows only while work runs.
        QTRY_COMPARE(namesOf(m_window->remotePane()->rows()), strings({"..", "pub"}));
        QVERIFY(!m_window->progressBar()->isVisible());

        // Unticked, the next listing goes active, on the same connection (MLSD, and the LIST that
        // tells which of its folders are links).
        auto wire = std::make_shared<QStringList>();
        runner()->start([wire](JobContext& context) {
            context.session().setTranscript([wire](const QString& line) { wire->append(line); });
        });
        bar()->passive()->click();
        m_window->remotePane()->refreshRemote(true);
        QVERIFY(waitIdle(*runner()));
        QVERIFY2(wire->filter(QStringLiteral("> EPRT")).size() == 2 && wire->filter(QStringLiteral("> EPSV")).isEmpty()
                     && wire->filter(QStringLiteral("> USER")).isEmpty(),
                 qPrintable(wire->join(QLatin1Char('\n'))));
    }

    // Connect, browse and download with the keyboard alone, as a user without a mouse does.
    void keyboardAlone()
    {
        FtpServerFixture server;
        QVERIFY2(server.start(m_root.path()), qPrintable(server.errorText()));
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QCOMPARE(m_window->localPane()->currentFolderPath(), m_home.path() + QLatin1Char('/'));

        // The focus starts in the address field; Tab moves through the connection bar.
        QTRY_COMPARE(focus(), static_cast<QWidget*>(bar()->address()));
        QTest::keyClicks(focus(), server.host());
        QTest::keyClick(focus(), Qt::Key_Tab);
        QTest::keyClicks(focus(), FtpServerFixture::user());
        QTest::keyClick(focus(), Qt::Key_Tab);
        QTest::keyClicks(focus(), FtpServerFixture::password());
        QTest::keyClick(focus(), Qt::Key_Tab);
        QTRY_COMPARE(focus(), static_cast<QWidget*>(bar()->port()));
        QTRY_COMPARE(bar()->port()->selectedText(), QStringLiteral("21"));
        QTest::keyClicks(focus(), server.portText());
        QTest::keyClick(focus(), Qt::Key_Tab, Qt::ShiftModifier);
        // Enter in the password field connects, in active mode; the port stays open meanwhile.
        QTest::keyClick(focus(), Qt::Key_Return);
        QVERIFY(!bar()->address()->isEnabled() && bar()->port()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(m_window->remotePane()->rows().size(), 2, jobTimeout);
        QVERIFY(m_prompter->messages.isEmpty());
        const QString established =
            getText("CONNECTION_WITH") + QStringLiteral(" 127.0.0.1 ") + getText("WAS_ESTABLISHT");
        QCOMPARE(historyLines(), connectedLines(established));

        // F6 moves from the connection bar to the local list, then to the remote list.
        QTest::keyClick(focus(), Qt::Key_F6);
        QTRY_COMPARE(focus()->objectName(), QStringLiteral("lsvDirFile"));
        QTest::keyClick(focus(), Qt::Key_F6);
        QTreeView* list = m_window->remotePane()->listView()->detailView();
        QTRY_COMPARE(focus(), static_cast<QWidget*>(list));
        // On past the history to the transfer queue, and back.
        QTest::keyClick(focus(), Qt::Key_F6);
        QTest::keyClick(focus(), Qt::Key_F6);
        QTRY_COMPARE(focus()->objectName(), QStringLiteral("lsvQueue"));
        QTest::keyClick(focus(), Qt::Key_F6, Qt::ShiftModifier);
        QTest::keyClick(focus(), Qt::Key_F6, Qt::ShiftModifier);
        QTRY_COMPARE(focus(), static_cast<QWidget*>(list));

        // Rows: "..", "pub". Down to the folder, Enter goes into it.
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(m_window->remotePane()->currentName(), QStringLiteral("pub"));
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(m_window->remotePane()->rows()), strings({"..", "docs", "readme.txt"}),
                                  jobTimeout);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(namesOf(m_window->remotePane()->selectedRows()), strings({"readme.txt"}));

        // Ctrl+F2 downloads the selection into the local pane's folder.
        QTest::keyClick(list, Qt::Key_F2, Qt::ControlModifier);
        const QString target = m_home.filePath(QStringLiteral("readme.txt"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target), jobTimeout);
        QVERIFY(waitIdle(*runner()));
        QCOMPARE(readFile(target), QByteArray("read me\r\n"));
        QVERIFY(m_prompter->messages.isEmpty());
    }

    // A folder uploaded through the queue, stopped, processed again and cut off by the end of the
    // program: after the start what was left waits, naming its server, until the queue is
    // processed with the password asked once; every file arrives once, complete.
    void queueOutlivesAStopAndTheProgram()
    {
        // What earlier runs left in the test's store goes first.
        QList<qint64> earlier;
        for (const TransferItem& item : m_window->queue()->items())
            earlier.append(item.id);
        m_window->queueProcessor()->remove(earlier);
        const QByteArray content(16 * 1024, 'q');
        for (int i = 0; i < 6; ++i)
            QVERIFY(writeFile(m_home.filePath(QStringLiteral("many/f%1").arg(i)), content));
        // Passive: the test server now and then leaves an active data connection of one of several
        // sessions unanswered for half a minute.
        QVERIFY(startServer());
        bar()->passive()->click();
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle(*runner()) && runner()->isConnected());
        LocalPane* local = m_window->localPane();
        local->viewFolder(m_home.path() + QLatin1Char('/'));
        const int row = static_cast<int>(namesOf(local->entries()).indexOf(QStringLiteral("many")));
        local->listView()->selectionModel()->select(local->model()->index(row, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        // Stop as soon as the folder and one file have arrived.
        QAction* stop = m_window->mainMenu()->action(AppCommand::Stop);
        const auto stopper = connect(m_window->queue(), &QAbstractItemModel::dataChanged, this, [this, stop] {
            if (count(TransferState::Done) == 2)
                stop->trigger();
        });
        m_window->localActions()->action(LocalCommand::Upload)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(count(TransferState::Done) >= 2 && !m_window->queueProcessor()->isBusy(), jobTimeout);
        disconnect(stopper);
        QVERIFY(count(TransferState::Queued) > 0);
        m_window->mainMenu()->action(AppCommand::ProcessQueue)->trigger();
        QVERIFY(count(TransferState::Running) > 0);

        m_window.reset();
        m_window = std::make_unique<MainWindow>();
        QCOMPARE(count(TransferState::Running), 0);
        QVERIFY(count(TransferState::Queued) > 0);
        const QModelIndex server = m_window->queue()->index(m_window->queue()->rowCount() - 1, TransferQueue::RemoteColumn);
        QCOMPARE(server.data().toString(), QStringLiteral("ftp://tester@127.0.0.1:%1/many/f5").arg(m_server->port()));
        m_prompter->inputAnswers.enqueue({true, FtpServerFixture::password()});
        m_window->mainMenu()->action(AppCommand::ProcessQueue)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(count(TransferState::Done), 7, jobTimeout);
        QCOMPARE(m_prompter->inputs.size(), 1);
        QCOMPARE(QDir(m_root.filePath(QStringLiteral("many"))).entryList(QDir::Files).size(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(readFile(m_root.filePath(QStringLiteral("many/f%1").arg(i))), content);
    }

    void failuresShowTheirMessage_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("onEnter");
        QTest::addColumn<QString>("message");
        const QString menu = messageText({"NOT_ESTABLISHED", "SPELLING", "PROVIDER"});
        const QString enter = messageText({"NO_CONNECTION", "CHECK_PROVIDER"});
        const QString right = FtpServerFixture::password();
        QTest::newRow("menu, wrong password") << "wrong" << "" << false << menu;
        QTest::newRow("menu, port not a number") << right << "einundzwanzig" << false << menu;
        QTest::newRow("menu, nobody listening") << right << closedPort() << false << menu;
        QTest::newRow("enter, empty port") << right << "  " << true << enter;
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
        QCOMPARE(m_prompter->messages.size(), 1);
        QTEST(m_prompter->messages[0].text, "message");
        QCOMPARE(m_prompter->messages[0].icon, PromptIcon::Exclamation);
        QVERIFY(m_window->history()->plainText().isEmpty());
        QVERIFY(!runner()->isConnected());
        QVERIFY(bar()->address()->isEnabled() && bar()->port()->isEnabled());
    }

    void reconnectKeepsALiveConnectionAndSaysWhenItFails_data()
    {
        QTest::addColumn<bool>("encryptionChanged");
        QTest::newRow("connection gone") << false;
        QTest::newRow("encryption choice changed") << true;
    }

    void reconnectKeepsALiveConnectionAndSaysWhenItFails()
    {
        QVERIFY(connectToServer());
        runner()->start([](JobContext& context) { context.session().setDir(QStringLiteral("pub/docs")); });
        QCOMPARE(serverFolder(*runner()), QStringLiteral("/pub/docs"));
        // The connection answers, so it is kept: the values in the bar are not even tried.
        bar()->port()->setText(closedPort());
        m_window->connection()->reconnect();
        QCOMPARE(serverFolder(*runner()), QStringLiteral("/"));
        QVERIFY(m_prompter->messages.isEmpty());

        // A connection that is gone, or was made with another encryption choice than the bar now
        // shows, is made again from the bar's values; they fail here.
        if (testData<bool>("encryptionChanged"))
            bar()->encryption()->setCurrentIndex(int(FtpSettings::Encryption::Plain));
        else
            runner()->start([](JobContext& context) { context.session().closeConnection(); });
        m_window->connection()->reconnect();
        QVERIFY(waitIdle(*runner()));
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].text, messageText({"MPUB_NOCONN1", "MPUB_NOCONN2", "MPUB_NOCONN3"}));
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
        QCOMPARE(m_prompter->messages[0].text, messageText({"CONNECTION_CANCEL1", "CONNECTION_CANCEL2"}));
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
        // A stopped job that had not begun never runs; its continuation still does, with no result.
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
        QCOMPARE(historyLines().last(), historyKey("#c80000", "MPUB_STOPPED"));
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
        QCOMPARE(historyLines().size(), 3); // connecting, connected, unencrypted
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
        bar()->encryption()->setCurrentIndex(int(FtpSettings::Encryption::Required));
        QCOMPARE(bar()->settings().ftp.encryption, FtpSettings::Encryption::Required);

        m_prompter->messageAnswers.enqueue(PromptAnswer(answer));
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle(*runner()));
        QCOMPARE(m_prompter->messages.size(), connects ? 1 : 2); // the question; then, refused, "no connection"
        const MessageRequest& question = m_prompter->messages[0];
        QCOMPARE(question.buttons, PromptButtons::ThreeChoices);
        QCOMPARE(question.choiceTexts,
                 QStringList({getText("CERT_ALWAYS"), getText("CERT_ONCE"), getText("CERT_CANCEL")}));
        QVERIFY(question.text.contains(CertificateInfo::formatFingerprint(server.certificateSha256())));
        QVERIFY(question.text.contains(getText("CERT_SELFSIGNED")));
        QCOMPARE(runner()->isConnected(), connects);
        const QString last =
            connects ? historyKey("#00c800", "TLS_ENCRYPTED") : historyKey("#c80000", "TLS_CERTREFUSED");
        QVERIFY(historyLines().last().startsWith(last));
        if (!connects)
            return;

        // Trusted always: the next connect asks nothing.
        bar()->connectAction()->trigger();
        QVERIFY(waitIdle(*runner()));
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY(runner()->isConnected());
    }

    // The certificate's fields cannot add lines to the question, nor turn its text around.
    void certificateFieldsShowControlCharactersAsEscapes_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("shown");
        QTest::newRow("line breaks") << QStringLiteral("CN=x\nO=y\r\n") << QStringLiteral("CN=x\\nO=y\\r\\n");
        QTest::newRow("separators") << QStringLiteral("CN=x\u2028y\u2029z") << QStringLiteral("CN=x\\u2028y\\u2029z");
        QTest::newRow("direction, NUL, tab")
            << QStringLiteral("CN=\u202Ex\0\t") << QStringLiteral("CN=\\u202ex\\u0000\\u0009");
        QTest::newRow("plain, kept") << QStringLiteral("CN=Müller, O=A\\B") << QStringLiteral("CN=Müller, O=A\\B");
    }

    void certificateFieldsShowControlCharactersAsEscapes()
    {
        QFETCH(QString, field);
        QFETCH(QString, shown);
        CertificateInfo info;
        info.host = info.subject = info.issuer = field;
        info.port = 21;
        const QStringList lines = certificateQuestionText(info).split(u'\n');
        QCOMPARE(lines.size(), 7);
        QVERIFY(lines[0].contains(shown + QStringLiteral(":21")));
        QCOMPARE(lines[3], getText("CERT_SUBJECT") + QLatin1Char(' ') + shown);
        QCOMPARE(lines[4], getText("CERT_ISSUER") + QLatin1Char(' ') + shown);
    }

    // An SSH host key goes through the same question, asked from a job: type and fingerprint, and
    // the warning (with the earlier fingerprint where known) when the key changed.
    void hostKeyQuestionFromAJob_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<PromptAnswer>("answer");
        QTest::addColumn<TrustDecision>("decision");
        QTest::newRow("unknown, always") << false << QString() << PromptAnswer::First << TrustDecision::Always;
        QTest::newRow("changed, earlier known, once")
            << true << QStringLiteral("SHA256:b1dC0de") << PromptAnswer::Second << TrustDecision::Once;
        QTest::newRow("changed, cancel") << true << QString() << PromptAnswer::Third << TrustDecision::Cancel;
    }

    void hostKeyQuestionFromAJob()
    {
        QFETCH(bool, changed);
        QFETCH(QString, stored);
        QFETCH(PromptAnswer, answer);
        const HostKeyInfo key{QStringLiteral("sftp.example.org"), 2222, QStringLiteral("ssh-ed25519"),
                              QStringLiteral("SHA256:n4bQgYhMfWWaL+qgxVrQFaO/TxsrC4Is0V1sFbDwCgg"), changed, stored};
        m_prompter->messageAnswers.enqueue(answer);
        auto decision = std::make_shared<TrustDecision>(TrustDecision::Always);
        QVERIFY(runJob(*runner(), [decision, key](JobContext& context) {
            *decision = context.askPeerIdentity(PeerIdentity(key));
        }));
        QCOMPARE(*decision, testData<TrustDecision>("decision"));
        QCOMPARE(m_prompter->messages.size(), 1);
        const MessageRequest& question = m_prompter->messages[0];
        QCOMPARE(question.title, withoutMnemonic(getText("HOSTKEY_TITLE")));
        QCOMPARE(question.icon, changed ? PromptIcon::Critical : PromptIcon::Exclamation);
        QCOMPARE(question.choiceTexts,
                 QStringList({getText("CERT_ALWAYS"), getText("CERT_ONCE"), getText("CERT_CANCEL")}));
        const QStringList lines = question.text.split(u'\n');
        QVERIFY(lines.contains(getText("HOSTKEY_QUESTION").arg(QStringLiteral("sftp.example.org:2222"))));
        QVERIFY(lines.contains(getText("HOSTKEY_TYPE") + QStringLiteral(" ssh-ed25519")));
        QVERIFY(lines.contains(getText("HOSTKEY_FINGERPRINT") + QLatin1Char(' ') + key.fingerprint));
        QCOMPARE(lines.first() == getText("HOSTKEY_CHANGED"), changed);
        QCOMPARE(lines.contains(getText("HOSTKEY_STORED").arg(stored)), !stored.isEmpty());
    }

    // Drops run the transfer commands, the comparison's marks follow every listing, and synchronized
    // browsing follows a change of folder until a side lacks the folder.
    void acrossThePanes()
    {
        const QString mine = m_home.filePath(QStringLiteral("across/"));
        QVERIFY(writeFile(mine + QStringLiteral("readme.txt"), "read me\r\n"));
        QVERIFY(writeFile(mine + QStringLiteral("only.txt")));
        QFile same(mine + QStringLiteral("readme.txt"));
        const QDateTime serverTime = QFileInfo(m_root.filePath(QStringLiteral("pub/readme.txt"))).lastModified();
        QVERIFY(same.open(QIODevice::ReadWrite) && same.setFileTime(serverTime, QFileDevice::FileModificationTime));
        QVERIFY(connectToServer());
        LocalPane* local = m_window->localPane();
        RemotePane* remote = m_window->remotePane();
        local->choosePath(mine);
        remote->changeFolder(QStringLiteral("/pub"));
        QVERIFY(waitIdle(*runner()));
        MainMenu* menu = m_window->mainMenu();
        menu->action(AppCommand::CompareFolders)->trigger();
        menu->action(AppCommand::HideIdentical)->trigger();
        const auto row = [](const EntryListModel* model, const char* name) {
            return static_cast<int>(namesOf(model->rows()).indexOf(QLatin1String(name)));
        };
        const auto said = [&row](const EntryListModel* model, const char* name) {
            return model->index(row(model, name), 0).data(Qt::AccessibleTextRole).toString();
        };
        QCOMPARE(said(local->model(), "only.txt"), QStringLiteral("only.txt, nur hier"));
        QCOMPARE(said(remote->model(), "readme.txt"), QStringLiteral("readme.txt, gleich"));
        QVERIFY(local->listView()->detailView()->isRowHidden(row(local->model(), "readme.txt"), {}));

        // only.txt up by a drop on the remote list, docs down by a drop on the local one (the download
        // rebuilds the server's path below the target, as the menu's does); each side's new listing
        // is marked.
        QSignalSpy up(&m_window->localActions()->commands().uploads(), &UploadCommands::uploadFinished);
        QSignalSpy down(&m_window->remoteActions()->commands(), &RemoteCommands::downloadFinished);
        for (auto [from, to, name, finished, shown, mark] :
             {std::tuple{local->model(), remote->model(), "only.txt", &up, "only.txt", "only.txt, gleich"},
              std::tuple{remote->model(), local->model(), "docs", &down, "pub", "pub, nur hier"}}) {
            const std::unique_ptr<QMimeData> data(from->mimeData({from->index(row(from, name), 0)}));
            QVERIFY(to->dropMimeData(data.get(), Qt::CopyAction, -1, 0, {}));
            QVERIFY(finished->wait(jobTimeout) && waitIdle(*runner()));
            QCOMPARE(said(to, shown), QLatin1String(mark));
        }
        QCOMPARE(readFile(m_root.filePath(QStringLiteral("pub/only.txt"))), QByteArray());
        QVERIFY(QFileInfo(mine + QStringLiteral("pub/docs")).isDir());

        // Into docs, where the local side lacks it; paired again, up together; then a local folder
        // the server lacks.
        QAction* sync = menu->action(AppCommand::SyncBrowsing);
        const auto step = [&](const std::function<void()>& move, const char* reason, const QString& missing) {
            if (!sync->isChecked())
                sync->trigger();
            move();
            QVERIFY(waitIdle(*runner()));
            QCOMPARE(sync->isChecked(), !*reason);
            if (*reason)
                QCOMPARE(historyLines().last(), historyKey("#c80000", reason, missing));
        };
        step([&] { remote->activateRow(row(remote->model(), "docs")); }, "SYNC_LOCALMISSING",
             mine + QStringLiteral("docs"));
        step([&] { remote->activateRow(0); }, "", {});
        QCOMPARE(local->listedFolder(), m_home.path() + QLatin1Char('/'));
        step([&] { local->choosePath(mine + QStringLiteral("pub")); }, "SYNC_SERVERMISSING",
             QStringLiteral("/pub/docs/pub"));
    }

    void protocolChoice_data()
    {
        QTest::addColumn<QList<Protocol>>("choices"); // made in the box, in order, after the port is typed
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("address"); // typed, then left with Enter; the host is example.org
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QString>("portAfter");
        const QList<Protocol> sftp{Protocol::Sftp};
        const QString host = QStringLiteral("example.org");
        QTest::newRow("SFTP takes 22 for 21") << sftp << "21" << host << Protocol::Sftp << "22";
        QTest::newRow("and FTP 21 for 22") << QList<Protocol>{Protocol::Sftp, Protocol::Ftp} << "21" << host << Protocol::Ftp << "21";
        QTest::newRow("a port of one's own stays") << sftp << "2121" << host << Protocol::Sftp << "2121";
        QTest::newRow("sftp:// with a port") << QList<Protocol>() << "21" << "sftp://example.org:2222" << Protocol::Sftp << "2222";
        QTest::newRow("FTP:// without one") << sftp << "22" << "FTP://Example.org/pub/" << Protocol::Ftp << "21";
    }

    // The protocol box: the port follows it while it holds a default, FTP's options are disabled
    // for SFTP, and an address typed as a link chooses protocol and port (also for a command
    // started before the field is left).
    void protocolChoice()
    {
        QFETCH(QString, address);
        bar()->port()->setText(testData<QString>("port"));
        for (const Protocol protocol : testData<QList<Protocol>>("choices"))
            bar()->protocolBox()->setCurrentIndex(static_cast<int>(protocol));
        bar()->address()->clear();
        QTest::keyClicks(bar()->address(), address);
        const ConnectionSettings typed = bar()->settings();
        QTest::keyClick(bar()->address(), Qt::Key_Return);
        const ConnectionSettings left = bar()->settings();
        for (const ConnectionSettings& settings : {typed, left}) {
            QTEST(settings.protocol, "protocol");
            QCOMPARE(settings.host, QStringLiteral("example.org"));
            QTEST(settings.port, "portAfter");
        }
        QCOMPARE(bar()->address()->text(), left.host);
        QTEST(bar()->protocol(), "protocol");
        const bool ftp = left.protocol == Protocol::Ftp;
        QVERIFY(bar()->transferMode()->isEnabled() == ftp && bar()->passive()->isEnabled() == ftp
                && bar()->encryption()->isEnabled() == ftp);
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
    static QWidget* focus() { return QApplication::focusWidget(); }

    // The history as "colour<TAB>text" lines, the colour as its RGB name.
    QStringList historyLines() const
    {
        QStringList lines;
        QTextDocument* document = m_window->history()->textEdit()->document();
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            if (block.text().isEmpty())
                continue;
            const QString colour = block.begin().fragment().charFormat().foreground().color().name();
            lines.append(historyLine(colour, block.text()));
        }
        return lines;
    }

    ConnectionBar* bar() const { return m_window->connectionBar(); }
    // The queue's items of the folder "many" in this state.
    int count(TransferState state) const
    {
        const QList<TransferItem>& items = m_window->queue()->items();
        return static_cast<int>(std::count_if(items.cbegin(), items.cend(), [state](const TransferItem& item) {
            return item.state == state && item.remotePath.startsWith(QStringLiteral("/many"));
        }));
    }
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

    QTemporaryDir m_home;
    QTemporaryDir m_root;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<FtpServerFixture> m_server;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
