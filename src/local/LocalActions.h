#pragma once

#include "CommandActionTable.h"
#include "LocalCommand.h"
#include "LocalEnvironment.h"

#include <QObject>

class JobRunner;
class LocalCommands;
class LocalPane;
class QMenu;
class QWidget;

// The QActions of the local commands, one per LocalCommand: the main menu, the context menu
// "frmPopUpfrmLocal", the pane's toolbar and its keys all trigger these; a command that is not
// built yet is disabled.
//
// A new command is a LocalCommand value, a handler in LocalCommands and a row of the table in
// LocalActions.cpp (and a row of the main menu's table where the menu offers it).
class LocalActions : public QObject
{
    Q_OBJECT

public:
    using Handler = void (LocalCommands::*)();

    LocalActions(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window);
    ~LocalActions() override;

    QAction* action(LocalCommand command) const { return m_table.action(command); }
    // The context menu of the local list, "Upload" as its default entry.
    QMenu* contextMenu() const { return m_contextMenu; }
    LocalCommands& commands() const { return *m_commands; }

    void retranslate();
    // Enables every built command; the one place that decides what can be chosen.
    void updateState();

private:
    void createContextMenu();
    void run(LocalCommand command);

    LocalPane& m_pane;
    LocalCommands* m_commands;
    CommandActionTable<LocalCommand, Handler> m_table;
    QMenu* m_contextMenu = nullptr;
    QMenu* m_newMenu = nullptr;
};
