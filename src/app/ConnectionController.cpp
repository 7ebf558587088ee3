#include "ConnectionController.h"

#include "ConnectionBar.h"
#include "JobContext.h"
#include "Prompter.h"
#include "JobRunner.h"
#include "TextCatalogue.h"
#include "TransferHistory.h"

#include <QGuiApplication>
#include <QLineEdit>

ConnectionController::ConnectionController(JobRunner& runner, ConnectionBar& bar, TransferHistory& history,
                                           QWidget* window, std::function<QString()> returnFolder)
    : QObject(window)
    , m_runner(runner)
    , m_bar(bar)
    , m_history(history)
    , m_window(window)
    , m_returnFolder(std::move(returnFolder))
{
    m_watch.setInterval(1000);
    connect(&m_watch, &QTimer::timeout, this, &ConnectionController::watchConnection);
    connect(&m_runner, &JobRunner::reconnectFailed, this, [this] { m_bar.address()->setFocus(); });
}

void ConnectionController::connectToServer(ConnectVariant variant)
{
    const ConnectionSettings settings = m_bar.settings();
    const bool menu = variant == ConnectVariant::Menu;
    if (settings.host.trimmed().isEmpty()) {
        showMessage(m_window, getText(menu ? "ENTER_ADRESS" : "ENTER_HOST"),
                    menu ? PromptIcon::Critical : PromptIcon::Information);
        m_bar.address()->setFocus();
        return;
    }
    if (menu && settings.port.trimmed().isEmpty()) {
        showMessage(m_window, getText("ENTER_PORT"), PromptIcon::Critical);
        m_bar.port()->setFocus();
        return;
    }
    // A new connection ends whatever ran on the old one, instead of waiting behind it.
    if (m_runner.isBusy())
        m_runner.stopAll(StopNotice::Quiet);
    m_window->setCursor(Qt::WaitCursor);
    m_bar.setFieldsEnabled(false, menu);
    m_history.clear();
    Q_EMIT connectStarted();
    m_runner.start<bool>(
        [settings, variant](JobContext& context) { return ConnectionJobs::connect(context, settings, variant); },
        [this, menu](bool success) {
            if (success) {
                m_watch.start();
                Q_EMIT connected();
            } else {
                const QString text = menu ? getText("NOT_ESTABLISHED") + QLatin1Char('\n') + getText("SPELLING")
                                                + QLatin1Char('\n') + getText("PROVIDER")
                                          : getText("NO_CONNECTION") + QLatin1Char('\n') + getText("CHECK_PROVIDER");
                showMessage(m_window, text, PromptIcon::Exclamation);
            }
            m_window->unsetCursor();
            m_bar.setFieldsEnabled(true, menu);
        });
}

void ConnectionController::reconnect()
{
    const ConnectionSettings settings = m_bar.settings();
    const QString folder = m_returnFolder ? m_returnFolder() : QString();
    m_runner.start([settings, folder](JobContext& context) { ConnectionJobs::reconnectTo(context, settings, folder); });
}

void ConnectionController::watchConnection()
{
    // A tick that finds the session busy or an earlier check still waiting skips; the check
    // never interleaves with a transfer.
    if (m_checking || m_runner.isBusy())
        return;
    m_checking = true;
    m_runner.start<bool>([](JobContext& context) { return ConnectionJobs::connectionLost(context); },
                         [this](bool lost) {
                             m_checking = false;
                             if (!lost || !m_watch.isActive())
                                 return;
                             m_watch.stop();
                             const QString text = getText("CONNECTION_CANCEL1") + QLatin1Char('\n')
                                                  + getText("CONNECTION_CANCEL2");
                             if (showMessage(m_window, text, PromptIcon::None, PromptButtons::YesNo) == PromptAnswer::Yes)
                                 reconnect();
                         },
                         JobVisibility::Background);
}
