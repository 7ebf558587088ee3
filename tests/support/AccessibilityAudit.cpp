#include "AccessibilityAudit.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QSet>
#include <QToolBar>
#include <QWidget>

namespace {

// The roles a user operates or reads; each needs a name of its own.
bool needsName(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::EditableText:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::MenuItem:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Window:
    case QAccessible::Dialog:
        return true;
    default:
        return false;
    }
}

QString describe(QAccessibleInterface* item)
{
    QString what = item->text(QAccessible::Name);
    if (QObject* object = item->object()) {
        what += QStringLiteral(" (") + QString::fromLatin1(object->metaObject()->className()) + QLatin1Char(' ')
                + object->objectName();
        if (object->parent())
            what += QStringLiteral(" in ") + object->parent()->objectName();
        what += QLatin1Char(')');
    }
    return what + QStringLiteral(" role ") + QString::number(item->role());
}

void walk(QAccessibleInterface* item, QStringList& problems, int depth)
{
    if (!item || depth > 60)
        return;
    QHash<QString, QAccessibleInterface*> namesSeen;
    for (int i = 0; i < item->childCount(); ++i) {
        QAccessibleInterface* child = item->child(i);
        if (!child || child->state().invisible)
            continue;
        // Qt's own helpers (the toolbar's overflow button) are not ours to name.
        if (child->object() && child->object()->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QAccessible::Role role = child->role();
        if (needsName(role)) {
            const QString name = child->text(QAccessible::Name).trimmed();
            // A combo box is named by its current text; an empty one needs a description instead.
            const bool named = !name.isEmpty()
                               || (role == QAccessible::ComboBox
                                   && !child->text(QAccessible::Description).trimmed().isEmpty());
            if (!named)
                problems.append(QStringLiteral("no name: ") + describe(child));
            if (!name.isEmpty() && role != QAccessible::ComboBox) {
                const QString key = QString::number(role) + QLatin1Char('/') + name;
                if (QAccessibleInterface* other = namesSeen.value(key))
                    problems.append(QStringLiteral("same name: ") + describe(child) + QStringLiteral(" and ")
                                    + describe(other));
                namesSeen.insert(key, child);
            }
        }
        walk(child, problems, depth + 1);
    }
}

// Menus and toolbars: every entry has a text, unique among its siblings.
void checkActions(QWidget* window, QStringList& problems)
{
    QList<QWidget*> holders;
    for (QMenu* menu : window->findChildren<QMenu*>())
        holders.append(menu);
    for (QToolBar* bar : window->findChildren<QToolBar*>())
        holders.append(bar);
    for (QWidget* holder : holders) {
        QSet<QString> texts;
        for (QAction* action : holder->actions()) {
            if (action->isSeparator() || !action->isVisible())
                continue;
            const QString text = action->text().remove(QLatin1Char('&')).trimmed();
            const QString where = holder->objectName() + QLatin1Char('/') + action->objectName();
            if (text.isEmpty())
                problems.append(QStringLiteral("action without text: ") + where);
            else if (texts.contains(text))
                problems.append(QStringLiteral("two actions named ") + text + QStringLiteral(" in ") + where);
            texts.insert(text);
        }
    }
}

} // namespace

namespace AccessibilityAudit {

QStringList problems(QWidget* window)
{
    QStringList found;
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
    if (!root) {
        found.append(QStringLiteral("no accessible interface for ") + window->objectName());
        return found;
    }
    if (root->text(QAccessible::Name).trimmed().isEmpty() && window->windowTitle().trimmed().isEmpty())
        found.append(QStringLiteral("window without title: ") + window->objectName());
    walk(root, found, 0);
    checkActions(window, found);
    return found;
}

} // namespace AccessibilityAudit
