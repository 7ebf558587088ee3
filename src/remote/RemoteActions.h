#pragma once

#include "CommandActionTable.h"
#include "EntryDrag.h"
#include "RemoteCommand.h"
#include "RemoteEnvironment.h"

#include <QObject>

class JobRunner;
class QMenu;
class QWidget;
class RemoteCommands;
class RemotePane;

// The QActions of the remote commands, one per RemoteCommand: the main menu, the context menu
// "frmPopUpfrmServer", the pane's toolbar and its keys all trigger these. Each action checks the
// connection first and then runs its command; a command that is not built yet is disabled.
//
// A new command is a RemoteCommand value, a handler in RemoteCommands and a row of the table in
// RemoteActions.cpp (and a row of the main menu's table where the menu offers it).
class RemoteActions : public QObject
{
    Q_OBJECT

public:
    using Handler = void (RemoteCommands::*)();

    RemoteActions(RemotePane& pane, JobRunner& runner, RemoteEnvironment environment, QWidget* window);
    ~RemoteActions() override;

    QAction* action(RemoteCommand command) const { return m_table.action(command); }
    // The context menu of the remote list, "Download" as its default entry.
    QMenu* contextMenu() const { return m_contextMenu; }
    RemoteCommands& commands() const { return *m_commands; }

    // Sets the captions and tooltips from the text catalogue.
    void retranslate();
    // Enables every built command; the one place that decides what can be chosen.
    void updateState();
    // The download command for rows dropped onto the local pane, after the same connection test.
    void downloadDropped(const DraggedRows& rows, const QString& targetFolder);

private:
    void createContextMenu();
    void run(RemoteCommand command);

    RemotePane& m_pane;
    JobRunner& m_runner;
    QWidget* m_window;
    RemoteCommands* m_commands;
    CommandActionTable<RemoteCommand, Handler> m_table;
    QMenu* m_contextMenu = nullptr;
    QMenu* m_newMenu = nullptr;
};

// RequireConnection: false, after the no-connection message, when there is no connection.
bool requireConnection(const JobRunner& runner, QWidget* parent);
