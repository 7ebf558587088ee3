#include "MainWindow.h"

#include "AboutDialog.h"
#include "AsciiListDialog.h"
#include "CertificateQuestion.h"
#include "ChildWindowLayout.h"
#include "ConnectionBar.h"
#include "ConnectionController.h"
#include "CrossPaneCommands.h"
#include "ItemTransfer.h"
#include "LocalActions.h"
#include "LocalCommands.h"
#include "LocalPane.h"
#include "MainMenu.h"
#include "PeerDecisions.h"
#include "Prompter.h"
#include "QueuePane.h"
#include "QueueProcessor.h"
#include "RegionFocus.h"
#include "RemoteActions.h"
#include "RemotePane.h"
#include "SessionMaker.h"
#include "SessionRunner.h"
#include "ShellServices.h"
#include "SiteBook.h"
#include "SiteCommands.h"
#include "StartupTexts.h"
#include "TextCatalogue.h"
#include "TransferHistory.h"
#include "TransferLedger.h"
#include "TransferQueue.h"
#include "TransferStatus.h"
#include "TransferTypeSelector.h"
#include "UploadCommands.h"

#include <QAction>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// The account a saved server logs on to, as the queue names its items' servers.
QString siteAccountKey(const Site& site)
{
    ConnectionSettings settings;
    settings.protocol = site.protocol;
    settings.host = site.host;
    settings.port = QString::number(site.port);
    settings.user = site.logon == LogonType::Anonymous ? QStringLiteral("anonymous") : site.user;
    return accountKey(settings);
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_runner(new SessionRunner(makeSession, this))
    , m_bar(new ConnectionBar)
    , m_mdi(new QMdiArea)
    , m_local(new LocalPane)
    , m_remote(new RemotePane(*m_runner, m_remoteIcons))
    , m_history(new TransferHistory)
    , m_progress(new QProgressBar)
    , m_transferStatus(new TransferStatus)
    , m_decisions(std::make_shared<PeerDecisions>())
{
    setObjectName(QStringLiteral("mdiMain"));
    setWindowTitle(QStringLiteral("FTP Client 1"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1180, 760);

    m_progress->setObjectName(QStringLiteral("pgbBottom"));
    // Shown while work that counts its steps runs.
    m_progress->hide();
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->viewport()->installEventFilter(this);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_bar);
    layout->addWidget(m_mdi, 1);
    layout->addWidget(m_progress);
    setCentralWidget(central);

    m_localWindow = addChild(m_local);
    m_remoteWindow = addChild(m_remote);
    m_historyWindow = addChild(m_history);
    createQueue();
    m_queueWindow = addChild(m_queuePane);

    m_runner->setMessageHandler([this](const MessageRequest& request) {
        return Prompter::current().message(request, this);
    });
    m_runner->setInputHandler([this](const InputRequest& request) { return Prompter::current().input(request, this); });
    // The user's answer holds for the queue's workers too, which never ask.
    m_runner->setPeerIdentityHandler([this](const PeerIdentity& identity) {
        const TrustDecision decision = askAboutPeerIdentity(identity, this);
        m_decisions->record(identity, decision);
        return decision;
    });
    connect(m_runner, &JobRunner::historyLine, m_history, &TransferHistory::append);
    connect(m_runner, &JobRunner::progressChanged, this, &MainWindow::showProgress);
    connect(m_runner, &JobRunner::idle, this, &MainWindow::workEnded);
    statusBar()->addWidget(m_transferStatus, 1);
    connect(m_runner, &JobRunner::transferProgressChanged, m_transferStatus, &TransferStatus::report);
    connect(m_processor, &QueueProcessor::historyLine, m_history, &TransferHistory::append);
    connect(m_processor, &QueueProcessor::progressChanged, this, &MainWindow::showProgress);
    connect(m_processor, &QueueProcessor::transferProgressChanged, m_transferStatus, &TransferStatus::report);
    connect(m_processor, &QueueProcessor::idle, this, &MainWindow::workEnded);
    connect(m_processor, &QueueProcessor::itemsWithoutCommandEnded, this, [this](bool downloads, bool uploads) {
        if (downloads)
            m_local->refreshLocal();
        if (uploads && m_runner->isConnected())
            m_remote->refreshRemote(true);
    });

    createActions();
    m_connection = new ConnectionController(*m_runner, *m_bar, *m_history, this, [this] { return m_remote->folder(); });
    connect(m_connection, &ConnectionController::connectStarted, m_remote, &RemotePane::clearRemote);
    // A site or a link may name the folder to show first.
    connect(m_connection, &ConnectionController::connected, m_remote, [this] {
        if (!m_sites->listStartFolder())
            m_remote->refreshRemote(true);
    });
    m_transferType = new TransferTypeSelector(m_bar->transferMode(), m_menu->action(AppCommand::TransferAscii),
                                              m_menu->action(AppCommand::TransferBinary),
                                              m_menu->action(AppCommand::TransferAuto), this);
    // Start-up, in order: toolbar, captions, transfer types, menus, child windows, focus, welcome.
    retranslate();
    m_bar->transferMode()->setCurrentIndex(static_cast<int>(TransferType::Auto));
    wireCommands();
    m_crossPane = new CrossPaneCommands(*this);
    m_sites = new SiteCommands(*this);
    arrangeChildWindows();
    m_bar->address()->setFocus();
    m_transferType->setTransferFlag(TransferFlag::Binary);
    m_history->moveToEnd();
    m_history->append(welcomeText());
    reportQueueStore(static_cast<int>(m_queue->open(QueueStore::defaultPath())));
    m_transferType->setStartingUp(false);
}

void MainWindow::createQueue()
{
    m_queue = new TransferQueue(this);
    auto ledger = std::make_shared<TransferLedger>();
    QueueProcessor::Work work;
    work.makeWorker = [decisions = m_decisions] {
        auto worker = std::make_unique<SessionRunner>(makeSession);
        // A worker never asks: it takes the user's answer about the same identity, or refuses.
        worker->setPeerIdentityHandler([decisions](const PeerIdentity& identity) { return decisions->decideForWorker(identity); });
        return std::unique_ptr<JobRunner>(std::move(worker));
    };
    // The queue outlives its workers: the window stops them before it goes.
    work.makeItemJob = [ledger, queue = m_queue] {
        return ItemTransfer::makeJob(ledger, [queue] { return queue->retrySettings(); });
    };
    m_processor = new QueueProcessor(*m_queue, std::move(work), this);
    m_processor->setPasswordQuestion([this](const ConnectionSettings& server) -> std::optional<QString> {
        // The connection bar's, when it names the same account.
        const ConnectionSettings bar = m_bar->settings();
        if (accountKey(bar) == accountKey(server) && !bar.password.isEmpty())
            return bar.password;
        InputRequest request;
        request.prompt = getText("SITES_ASKPASSWORD").arg(server.user, server.host); // as a link asks it
        request.masked = true;
        const InputAnswer answer = Prompter::current().input(request, this);
        return answer.accepted ? std::optional(answer.text) : std::nullopt;
    });
    m_processor->setNoConnectionNotice([this](const QString&) {
        // The words of a re-connection that failed.
        showMessage(this, getText("MPUB_NOCONN1") + QLatin1Char('\n') + getText("MPUB_NOCONN2") + QLatin1Char('\n')
                              + getText("MPUB_NOCONN3"),
                    PromptIcon::Exclamation);
    });
    // A saved server takes as many transfers at once as its site allows.
    m_processor->setServerLimit([this](const QString& server) {
        int limit = 0;
        for (const Site& site : m_sites ? m_sites->book().data().root.allSites() : QList<Site>()) {
            if (siteAccountKey(site) == server)
                limit = limit > 0 ? std::min(limit, site.maxTransfers) : site.maxTransfers;
        }
        return limit;
    });
    m_processor->setIdentityQuestion(m_decisions, [this](const PeerIdentity& identity) { return askAboutPeerIdentity(identity, this); });
    m_queuePane = new QueuePane(*m_queue, *m_processor);
}

void MainWindow::reportQueueStore(int opened)
{
    switch (static_cast<QueueStore::Opened>(opened)) {
    case QueueStore::Opened::KeptAside:
        m_history->append(getText("QUEUE_DAMAGED").arg(m_queue->keptAside()), HistoryColour::Red);
        break;
    case QueueStore::Opened::InUse:
        m_history->append(getText("QUEUE_INUSE"), HistoryColour::Red);
        break;
    case QueueStore::Opened::Unavailable:
        m_history->append(getText("QUEUE_UNAVAILABLE") + QLatin1Char(' ') + QueueStore::defaultPath(), HistoryColour::Red);
        break;
    case QueueStore::Opened::Read:
        break;
    }
}

void MainWindow::workEnded()
{
    if (m_runner->isBusy() || m_processor->isBusy())
        return;
    m_progress->hide();
    m_transferStatus->finish();
}

MainWindow::~MainWindow()
{
    // The workers stop before the queue they report to goes.
    m_processor->shutdown();
    m_runner->shutdown();
}

QMdiSubWindow* MainWindow::addChild(QWidget* widget)
{
    QMdiSubWindow* window = m_mdi->addSubWindow(widget, Qt::SubWindow | Qt::WindowTitleHint);
    window->setObjectName(widget->objectName() + QStringLiteral("Window"));
    window->setOption(QMdiSubWindow::RubberBandResize, false);
    // The layout rules decide the sizes, not the children's wishes.
    window->setMinimumSize(1, 1);
    window->show();
    return window;
}

void MainWindow::createActions()
{
    auto append = [this](const QString& text, HistoryColour colour) { m_history->append(text, colour); };
    auto settings = [this] { return m_bar->settings(); };
    const QueueTransfers queueTransfers = [this](QList<TransferItem> items, const QString& password,
                                                 std::function<void()> done) {
        m_processor->add(std::move(items), password, std::move(done));
    };
    RemoteEnvironment remote{settings, [this] { return m_local->currentFolderPath(); },
                             [this](const QString& folder) { m_local->showFolder(folder); }, append, queueTransfers};
    remote.listLocalFolder = [this](const QString& folder) {
        m_local->viewFolder(folder, CompareMode::Code, AttributeOrder::Local);
    };
    // Remote files open like local ones once they are downloaded: the desktop's default
    // application, or the desktop's (or our) chooser.
    remote.openFile = [](const QString& path) { return ShellServices::openWithDefault(path); };
    remote.chooseProgram = [this](const QString& path) { ShellServices::chooseAndOpen(path, this); };
    // An opened copy that was edited goes back by the upload of one file.
    remote.uploadCopy = [this](const QString& localPath, const QString& remoteFolder, const QString& remoteName,
                               std::function<void(bool)> done) {
        m_localActions->commands().uploads().uploadCopy(localPath, remoteFolder, remoteName, std::move(done));
    };
    m_remoteActions = new RemoteActions(*m_remote, *m_runner, remote, this);
    auto uploadType = [this] {
        return UploadType{m_transferType->transferType(), m_transferType->transferFlag(), {}};
    };
    m_localActions = new LocalActions(*m_local, *m_runner,
                                      {settings, [this] { return m_remote->folder(); },
                                       [this] { m_remote->refreshRemote(true); }, append, uploadType, queueTransfers},
                                      this);
    // Local work off the GUI thread (the local delete) moves the same progress bar.
    LocalCommands* localCommands = &m_localActions->commands();
    connect(localCommands, &LocalCommands::progressChanged, this, &MainWindow::showProgress);
    connect(localCommands, &LocalCommands::workFinished, m_progress, &QWidget::hide);
    m_menu = new MainMenu(menuBar(), *m_localActions, *m_remoteActions);
}

void MainWindow::retranslate()
{
    m_bar->retranslate();
    QComboBox* mode = m_bar->transferMode();
    mode->clear();
    mode->addItems({withoutMnemonic(getText("OPT_ASCII")), withoutMnemonic(getText("OPT_BINARY")),
                    withoutMnemonic(getText("OPT_AUTO"))});
    m_localActions->retranslate();
    m_remoteActions->retranslate();
    m_menu->retranslate();
    m_history->retranslate();
    m_local->retranslate();
    m_localWindow->setWindowTitle(withoutMnemonic(getText("FRMLOCAL_MYCOMPUTER")));
    m_remote->retranslate();
    m_remoteWindow->setWindowTitle(withoutMnemonic(getText("FRMSERVER_FRA")));
    m_historyWindow->setWindowTitle(withoutMnemonic(getText("FRMTH_FRACAPTION")));
    m_queuePane->retranslate();
    m_queueWindow->setWindowTitle(getText("QUEUE_CAPTION"));
    m_progress->setAccessibleName(withoutMnemonic(getText("DESC_PROGRESS")));
    m_progress->setAccessibleDescription(getText("DESC_PROGRESS"));
}

void MainWindow::arrangeChildWindows()
{
    const ChildWindowLayout layout = ChildWindowLayout::forArea(m_mdi->viewport()->size());
    m_localWindow->setGeometry(layout.local);
    m_remoteWindow->setGeometry(layout.remote);
    m_historyWindow->setGeometry(layout.history);
    m_queueWindow->setGeometry(layout.queue);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Showing the child windows activates one of them; the address field keeps the focus.
    if (!event->spontaneous())
        QTimer::singleShot(0, m_bar->address(), qOverload<>(&QWidget::setFocus));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_mdi->viewport() && event->type() == QEvent::Resize)
        arrangeChildWindows();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::wireCommands()
{
    const auto on = [this](AppCommand command, auto slot) {
        connect(m_menu->action(command), &QAction::triggered, this, slot);
    };
    on(AppCommand::Exit, [this] { close(); });
    on(AppCommand::Connect, [this] { m_connection->connectToServer(ConnectVariant::Menu); });
    on(AppCommand::Stop, [this] { stop(); });
    on(AppCommand::ProcessQueue, [this] { m_processor->process(); });
    on(AppCommand::PassiveOn, [this] { setPassive(true); });
    on(AppCommand::PassiveOff, [this] { setPassive(false); });
    on(AppCommand::Homepage, [this] { openHomepage(this); });
    on(AppCommand::AsciiList, [this] {
        // Modal, without a loop of its own: the session's jobs go on reporting meanwhile.
        auto* dialog = new AsciiListDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    on(AppCommand::About, [this] {
        AboutDialog dialog(this);
        dialog.exec();
    });
    // The transfer-type entries are TransferTypeSelector's.

    connect(m_bar->connectAction(), &QAction::triggered, m_menu->action(AppCommand::Connect), &QAction::trigger);
    // The toolbar's "ascii" button shows the list like the menu entry, and re-enables the fields.
    connect(m_bar->asciiAction(), &QAction::triggered, m_menu->action(AppCommand::AsciiList), &QAction::trigger);
    connect(m_bar->asciiAction(), &QAction::triggered, this, [this] { m_bar->setFieldsEnabled(true); });
    connect(m_bar->stopAction(), &QAction::triggered, m_menu->action(AppCommand::Stop), &QAction::trigger);
    // Stop can be chosen while work runs; Esc in either pane stops it too.
    QAction* stopEntry = m_menu->action(AppCommand::Stop);
    stopEntry->setEnabled(false);
    const auto stoppable = [this, stopEntry] {
        const bool busy = m_runner->isBusy() || m_processor->isBusy();
        stopEntry->setEnabled(busy);
        m_bar->stopAction()->setEnabled(busy);
    };
    connect(m_runner, &JobRunner::busyChanged, this, stoppable);
    connect(m_processor, &QueueProcessor::busyChanged, this, stoppable);
    for (QWidget* pane : {static_cast<QWidget*>(m_local), static_cast<QWidget*>(m_remote), static_cast<QWidget*>(m_queuePane)}) {
        auto* escape = new QAction(pane);
        escape->setShortcut(Qt::Key_Escape);
        escape->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(escape, &QAction::triggered, stopEntry, &QAction::trigger);
        pane->addAction(escape);
    }
    connect(m_bar, &ConnectionBar::connectOnEnterRequested, this,
            [this] { m_connection->connectToServer(ConnectVariant::Enter); });
    connect(m_bar, &ConnectionBar::passiveToggledByUser, this, &MainWindow::passiveChanged);
    // From the next command on, on the connection there is.
    connect(m_bar->passive(), &QCheckBox::toggled, this, [this] { m_runner->updateSettings(m_bar->settings()); });

    new RegionFocus(this, m_mdi,
                    {{m_bar, [this] { return m_bar->address(); }},
                     {m_localWindow, [this] { return m_local->listView()->currentWidget(); }},
                     {m_remoteWindow, [this] { return m_remote->listView()->currentWidget(); }},
                     {m_historyWindow, [this] { return m_history->textEdit(); }},
                     {m_queueWindow, [this] { return static_cast<QWidget*>(m_queuePane->currentView()); }}});
}

void MainWindow::stop()
{
    // Running transfers wait again in the queue.
    if (m_processor->isBusy())
        m_processor->stop();
    if (!m_runner->isBusy())
        return;
    // A stopped transfer takes the connection with it; the next commands find it again.
    const bool wasConnected = m_runner->isConnected();
    m_runner->stopAll();
    if (wasConnected)
        m_connection->reconnect();
}

void MainWindow::setPassive(bool passive)
{
    // The passive items mirror the check box; choosing one acts like clicking the box.
    m_bar->passive()->setChecked(passive);
    passiveChanged(passive);
}

void MainWindow::passiveChanged(bool passive)
{
    m_history->append(getText(passive ? "PASSIVE_TRANSER_ON" : "PASSIVE_TRANSER_OFF"), HistoryColour::Blue);
    m_menu->action(AppCommand::PassiveOn)->setChecked(passive);
    m_menu->action(AppCommand::PassiveOff)->setChecked(!passive);
}

void MainWindow::showProgress(qint64 done, qint64 total)
{
    // The bar counts in steps that fit an int, whatever the totals are.
    constexpr qint64 scale = 1000;
    m_progress->setMaximum(static_cast<int>(scale));
    m_progress->setValue(total > 0 ? static_cast<int>(std::min(done, total) * scale / total) : 0);
    m_progress->show();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Nothing is asked, also not while a transfer runs.
    m_connection->stopWatch();
    m_processor->shutdown();
    m_runner->shutdown();
    TextCatalogue::instance().closeCatalogue();
    event->accept();
}
