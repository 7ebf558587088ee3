#pragma once

#include <QHash>
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

// The main window's menu tree. Every entry is a QAction (submenus through their menuAction()) with
// the entry's name as its object name, so that commands are wired and tests trigger them by name.
class MainMenu : public QObject
{
    Q_OBJECT

public:
    explicit MainMenu(QMenuBar* menuBar);

    // Sets every caption: looked up by key, or the entry's fixed caption.
    void retranslate();

    QAction* action(const QString& name) const;
    QList<QAction*> actions() const { return m_actions.values(); }

private:
    struct Entry;
    void build(QMenuBar* menuBar);
    QMenu* addMenu(QMenu* parent, QMenuBar* menuBar, const Entry& entry);
    QAction* addAction(QMenu* menu, const Entry& entry);
    // Names the entry and remembers how its caption is set.
    void registerEntry(QAction* action, const Entry& entry);

    QHash<QString, QAction*> m_actions;
    QHash<QAction*, QString> m_captionKeys;
    QHash<QAction*, QString> m_fixedCaptions;
};
