#pragma once

#include "AppCommand.h"

#include <QHash>
#include <QObject>

class LocalActions;
class QAction;
class QMenu;
class QMenuBar;
class RemoteActions;

// The main window's menu tree, built from one table. The main window's own entries are actions
// of this menu; the "Mein Computer" and "Mein Server" entries are the panes' command actions,
// which the menu only places (with the menu's shortcuts). Every entry can be found by its name.
class MainMenu : public QObject
{
    Q_OBJECT

public:
    MainMenu(QMenuBar* menuBar, LocalActions& local, RemoteActions& remote);

    // Sets the captions of the menu's own entries: looked up by key, or the fixed caption.
    void retranslate();

    // An entry by its name ("mnuMyServerDownload"), the submenus' own actions included.
    QAction* action(const QString& name) const;
    QAction* action(AppCommand command) const { return m_commands.value(command); }

private:
    struct Entry;
    void build(QMenuBar* menuBar);
    QMenu* addMenu(QMenu* parent, QMenuBar* menuBar, const Entry& entry);
    void addEntries(QMenu* menu, std::initializer_list<Entry> entries);

    LocalActions& m_local;
    RemoteActions& m_remote;
    QHash<QString, QAction*> m_actions;
    QHash<AppCommand, QAction*> m_commands;
    QHash<QAction*, QString> m_captionKeys;
    QHash<QAction*, QString> m_fixedCaptions;
};
