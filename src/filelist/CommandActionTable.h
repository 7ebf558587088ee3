#pragma once

#include "TextCatalogue.h"

#include <QAction>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QStyle>

#include <functional>
#include <span>

// The QActions of a pane's commands, made from tables: one action per command, named and
// captioned by its row, and the pane's toolbar buttons, each an action of its own (with its own
// tooltip) that triggers its command's action and follows its enabled state.
// Handler is what carries a command out, e.g. a member function pointer; a null handler marks a
// command that is not built yet, shown but disabled.
template <typename Command, typename Handler>
class CommandActionTable
{
public:
    struct Row {
        Command command;
        const char* name;       // the action's object name
        const char* captionKey; // the catalogue key of its caption
        Handler handler;
    };
    struct Button {
        const char* key;     // the button's object name
        const char* textKey; // the catalogue key of its tooltip
        Command command;
        const char* themeIcon;
        QStyle::StandardPixmap fallback;
    };

    // run is called with the command of a triggered action.
    CommandActionTable(std::span<const Row> rows, QObject* owner, std::function<void(Command)> run)
        : m_rows(rows)
    {
        for (const Row& row : rows) {
            auto* action = new QAction(owner);
            action->setObjectName(QLatin1String(row.name));
            const Command command = row.command;
            QObject::connect(action, &QAction::triggered, owner, [run, command] { run(command); });
            m_actions.insert(row.command, action);
        }
    }

    QAction* action(Command command) const { return m_actions.value(command); }

    // The toolbar buttons, in table order.
    QList<QAction*> makeButtons(std::span<const Button> buttons, const QStyle* style, QObject* owner)
    {
        m_buttons = buttons;
        for (const Button& button : buttons) {
            auto* proxy = new QAction(QIcon::fromTheme(QLatin1String(button.themeIcon), style->standardIcon(button.fallback)),
                                      QString(), owner);
            proxy->setObjectName(QLatin1String(button.key));
            QAction* target = action(button.command);
            QObject::connect(proxy, &QAction::triggered, target, &QAction::trigger);
            QObject::connect(target, &QAction::enabledChanged, proxy, &QAction::setEnabled);
            m_buttonActions.append(proxy);
        }
        return m_buttonActions;
    }

    void retranslate()
    {
        for (const Row& row : m_rows)
            setCaption(action(row.command), getText(row.captionKey));
        for (qsizetype i = 0; i < m_buttonActions.size(); ++i)
            setCaption(m_buttonActions[i], withoutMnemonic(getText(m_buttons[static_cast<std::size_t>(i)].textKey)));
    }

    // Every built command can be chosen.
    void updateState()
    {
        for (const Row& row : m_rows)
            action(row.command)->setEnabled(row.handler != nullptr);
        // A button follows only changes; start it in step.
        for (qsizetype i = 0; i < m_buttonActions.size(); ++i)
            m_buttonActions[i]->setEnabled(action(m_buttons[static_cast<std::size_t>(i)].command)->isEnabled());
    }

    Handler handler(Command command) const
    {
        for (const Row& row : m_rows) {
            if (row.command == command)
                return row.handler;
        }
        return nullptr;
    }

private:
    static void setCaption(QAction* action, const QString& caption)
    {
        action->setText(caption);
        const QString plain = withoutMnemonic(caption);
        action->setToolTip(plain);
        action->setStatusTip(plain);
    }

    std::span<const Row> m_rows;
    std::span<const Button> m_buttons;
    QHash<Command, QAction*> m_actions;
    QList<QAction*> m_buttonActions;
};
