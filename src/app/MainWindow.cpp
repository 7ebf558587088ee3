#include "MainWindow.h"

#include "AboutDialog.h"
#include "AsciiListDialog.h"
#include "CertificateQuestion.h"
#include "ChildWindowLayout.h"
#include "ConnectionBar.h"
#include "ConnectionController.h"
#include "CrossPaneCommands.h"
#include "LocalActions.h"
#include "LocalCommands.h"
#include "LocalPane.h"
#include "MainMenu.h"
#include "Prompter.h"
#include "RemoteActions.h"
#include "RegionFocus.h"
#include "RemotePane.h"
#include "SessionMaker.h"
#include "SessionRunner.h"
#include "SiteCommands.h"
#include "ShellServices.h"
#include "StartupTexts.h"
#include "TextCatalogue.h"
#include "TransferHistory.h"
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
#include <QVBoxLayout>

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

    m_runner->setMessageHandler([this](const MessageRequest& request) {
        return Prompter::current().message(request, this);
    });
    m_runner->setInputHandler([this](const InputRequest& request) { return Prompter::current().input(request, this); });
    m_runner->setPeerIdentityHandler([this](const PeerIdentity& identity) { return askAboutPeerIdentity(identity, this); });
    connect(m_runner, &JobRunner::historyLine, m_history, &TransferHistory::append);
    connect(m_runner, &JobRunner::progressChanged, this, &MainWindow::showProgress);
    connect(m_runner, &JobRunner::idle, m_progress, &QWidget::hide);
    statusBar()->addWidget(m_transferStatus, 1);
    connect(m_runner, &JobRunner::transferProgressChanged, m_transferStatus, &TransferStatus::report);
    connect(m_runner, &JobRunner::idle, m_transferStatus, &TransferStatus::finish);

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
    m_transferType->setStartingUp(false);
}

MainWindow::~MainWindow()
{
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
    RemoteEnvironment remote{settings, [this] { return m_local->currentFolderPath(); },
                             [this](const QString& folder) { m_local->showFolder(folder); }, append};
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
                                       [this] { m_remote->refreshRemote(true); }, append, uploadType},
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
    m_progress->setAccessibleName(withoutMnemonic(getText("DESC_PROGRESS")));
    m_progress->setAccessibleDescription(getText("DESC_PROGRESS"));
}

void MainWindow::arrangeChildWindows()
{
    const ChildWindowLayout layout = ChildWindowLayout::forArea(m_mdi->viewport()->size());
    m_localWindow->setGeometry(layout.local);
    m_remoteWindow->setGeometry(layout.remote);
    m_historyWindow->setGeometry(layout.history);
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
    connect(m_runner, &JobRunner::busyChanged, stopEntry, &QAction::setEnabled);
    connect(m_runner, &JobRunner::busyChanged, m_bar->stopAction(), &QAction::setEnabled);
    for (QWidget* pane : {static_cast<QWidget*>(m_local), static_cast<QWidget*>(m_remote)}) {
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
                     {m_historyWindow, [this] { return m_history->textEdit(); }}});
}

void MainWindow::stop()
{
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
    m_runner->shutdown();
    TextCatalogue::instance().closeCatalogue();
    event->accept();
}
