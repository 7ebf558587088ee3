#include "CrossPaneCommands.h"

#include "ConnectionBar.h"
#include "ConnectionController.h"
#include "EntryListView.h"
#include "LocalActions.h"
#include "LocalCommands.h"
#include "LocalPane.h"
#include "MainMenu.h"
#include "MainWindow.h"
#include "PaneComparison.h"
#include "RemoteActions.h"
#include "RemotePane.h"
#include "SyncBrowsing.h"
#include "TextCatalogue.h"
#include "TransferHistory.h"
#include "UploadCommands.h"

#include <QAction>
#include <QActionGroup>
#include <QStyle>
#include <QToolBar>

CrossPaneCommands::CrossPaneCommands(MainWindow& window)
    : QObject(&window)
    , m_window(window)
    , m_comparison(new PaneComparison(*window.localPane()->model(), *window.localPane()->listView(),
                                      *window.remotePane()->model(), *window.remotePane()->listView(), this))
    , m_sync(new SyncBrowsing(
          *window.localPane(), *window.remotePane(),
          [history = window.history()](const QString& text, HistoryColour colour) { history->append(text, colour); },
          this))
{
    connectDrops();
    connectToggles();
    addToolbarButtons();
}

void CrossPaneCommands::connectDrops()
{
    // A drop runs the command the menu runs, with the rows and the folder of the drop.
    UploadCommands* uploads = &m_window.localActions()->commands().uploads();
    connect(m_window.remotePane(), &RemotePane::localRowsDropped, uploads, &UploadCommands::uploadDropped);
    connect(m_window.localPane(), &LocalPane::serverRowsDropped, m_window.remoteActions(),
            &RemoteActions::downloadDropped);
}

void CrossPaneCommands::connectToggles()
{
    MainMenu* menu = m_window.mainMenu();
    connect(menu->action(AppCommand::CompareFolders), &QAction::toggled, m_comparison, &PaneComparison::setEnabled);
    connect(menu->action(AppCommand::HideIdentical), &QAction::toggled, m_comparison, &PaneComparison::setHideIdentical);
    auto* by = new QActionGroup(this);
    by->addAction(menu->action(AppCommand::CompareBySize));
    by->addAction(menu->action(AppCommand::CompareBySizeAndTime));
    connect(menu->action(AppCommand::CompareBySize), &QAction::toggled, m_comparison, [this](bool bySize) {
        m_comparison->setCompareBy(bySize ? CompareBy::Size : CompareBy::SizeAndTime);
    });

    QAction* sync = menu->action(AppCommand::SyncBrowsing);
    connect(sync, &QAction::triggered, m_sync, &SyncBrowsing::setOn);
    connect(m_sync, &SyncBrowsing::switchedOff, sync, [sync] { sync->setChecked(false); });
    // Another server's folders are no counterparts of these.
    connect(m_window.connection(), &ConnectionController::connectStarted, sync, [sync] {
        if (sync->isChecked())
            sync->trigger();
    });
}

void CrossPaneCommands::addToolbarButtons()
{
    const QStyle* style = m_window.style();
    QAction* compare = m_window.mainMenu()->action(AppCommand::CompareFolders);
    compare->setIcon(QIcon::fromTheme(QStringLiteral("view-dual-symbolic"),
                                      style->standardIcon(QStyle::SP_FileDialogContentsView)));
    QAction* sync = m_window.mainMenu()->action(AppCommand::SyncBrowsing);
    sync->setIcon(QIcon::fromTheme(QStringLiteral("insert-link-symbolic"), style->standardIcon(QStyle::SP_CommandLink)));
    QToolBar* bar = m_window.connectionBar()->toolBar();
    bar->addSeparator();
    for (const auto& [action, description] : {std::pair{compare, "DESC_COMPARE"}, std::pair{sync, "DESC_SYNC"}}) {
        bar->addAction(action);
        const QString text = withoutMnemonic(action->text());
        action->setToolTip(text);
        action->setStatusTip(text);
        if (QWidget* button = bar->widgetForAction(action)) {
            button->setObjectName(action->objectName());
            button->setAccessibleDescription(getText(description));
        }
    }
}
