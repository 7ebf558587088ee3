#include "AccessibilityAudit.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QSet>
#include <QToolBar>
#include <QWidget>

namespace {

// The roles a user operates or reads; each needs a name of its own.
const QSet<QAccessible::Role> namedRoles{QAccessible::EditableText, QAccessible::List,       QAccessible::Tree,
                                         QAccessible::Table,        QAccessible::PushButton, QAccessible::CheckBox,
                                         QAccessible::RadioButton,  QAccessible::ComboBox,   QAccessible::MenuItem,
                                         QAccessible::ButtonMenu,   QAccessible::ButtonDropDown,
                                         QAccessible::Window,       QAccessible::Dialog};

QString describe(QAccessibleInterface* item)
{
    QString what = item->text(QAccessible::Name) + QStringLiteral(" role ") + QString::number(item->role());
    if (QObject* object = item->object())
        what += QLatin1Char(' ') + QString::fromLatin1(object->metaObject()->className()) + QLatin1Char(' ')
                + object->objectName();
    return what;
}

void walk(QAccessibleInterface* item, QStringList& problems, int depth)
{
    QHash<QString, QAccessibleInterface*> namesSeen;
    for (int i = 0; depth < 60 && i < item->childCount(); ++i) {
        QAccessibleInterface* child = item->child(i);
        // Qt's own helpers (the toolbar's overflow button) are not ours to name.
        if (!child || child->state().invisible
            || (child->object() && child->object()->objectName().startsWith(QLatin1String("qt_"))))
            continue;
        const QAccessible::Role role = child->role();
        const QString name = child->text(QAccessible::Name).trimmed();
        // A combo box is named by its current text; an empty one needs a description instead.
        const bool isCombo = role == QAccessible::ComboBox;
        if (namedRoles.contains(role) && name.isEmpty()
            && !(isCombo && !child->text(QAccessible::Description).trimmed().isEmpty()))
            problems.append(QStringLiteral("no name: ") + describe(child));
        const QString key = QString::number(role) + QLatin1Char('/') + name;
        if (namedRoles.contains(role) && !name.isEmpty() && !isCombo && namesSeen.contains(key))
            problems.append(QStringLiteral("same name: ") + describe(child) + QStringLiteral(" and ")
                            + describe(namesSeen.value(key)));
        namesSeen.insert(key, child);
        walk(child, problems, depth + 1);
    }
}

} // namespace

namespace AccessibilityAudit {

QStringList problems(QWidget* window)
{
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
    if (!root)
        return {QStringLiteral("no accessible interface for ") + window->objectName()};
    QStringList found;
    if (root->text(QAccessible::Name).trimmed().isEmpty() && window->windowTitle().trimmed().isEmpty())
        found.append(QStringLiteral("window without title: ") + window->objectName());
    walk(root, found, 0);
    // Menus and toolbars: every entry has a text, unique among its siblings.
    QList<QWidget*> holders;
    for (QMenu* menu : window->findChildren<QMenu*>())
        holders.append(menu);
    for (QToolBar* bar : window->findChildren<QToolBar*>())
        holders.append(bar);
    for (QWidget* holder : std::as_const(holders)) {
        QSet<QString> texts;
        for (QAction* action : holder->actions()) {
            const QString text = action->text().remove(QLatin1Char('&')).trimmed();
            const QString where = holder->objectName() + QLatin1Char('/') + action->objectName();
            if (action->isSeparator() || !action->isVisible())
                continue;
            if (text.isEmpty() || texts.contains(text))
                found.append(QStringLiteral("action without a text of its own: ") + where + QLatin1Char(' ') + text);
            texts.insert(text);
        }
    }
    return found;
}

} // namespace AccessibilityAudit
