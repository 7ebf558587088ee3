#include "ViewModeBar.h"

#include "TextCatalogue.h"

#include <QAction>
#include <QActionGroup>

namespace {

struct ViewButton {
    const char* key;
    const char* icon;
    EntryListView::Mode mode;
};
constexpr ViewButton viewButtons[] = {
    {"eins", ":/filelist/icons/view-large.svg", EntryListView::Mode::LargeIcons},
    {"zwei", ":/filelist/icons/view-small.svg", EntryListView::Mode::SmallIcons},
    {"drei", ":/filelist/icons/view-list.svg", EntryListView::Mode::List},
    {"vier", ":/filelist/icons/view-details.svg", EntryListView::Mode::Details},
};

std::size_t indexOf(EntryListView::Mode mode)
{
    return static_cast<std::size_t>(mode);
}

} // namespace

ViewModeBar::ViewModeBar(const QString& objectName, const std::array<const char*, 4>& textKeys, QWidget* parent)
    : QToolBar(parent)
    , m_textKeys(textKeys)
{
    Q_INIT_RESOURCE(filelist);
    setObjectName(objectName);
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    for (const ViewButton& button : viewButtons) {
        QAction* action = addAction(QIcon(QLatin1String(button.icon)), QString());
        action->setObjectName(QLatin1String(button.key));
        action->setCheckable(true);
        group->addAction(action);
        // Toolbar buttons take no focus by default; keyboard users reach them with Tab.
        if (QWidget* widget = widgetForAction(action))
            widget->setFocusPolicy(Qt::TabFocus);
        const EntryListView::Mode mode = button.mode;
        connect(action, &QAction::triggered, this, [this, mode] { Q_EMIT modeChosen(mode); });
        m_actions[indexOf(button.mode)] = action;
    }
}

void ViewModeBar::retranslate()
{
    for (std::size_t i = 0; i < m_actions.size(); ++i) {
        const QString text = withoutMnemonic(getText(m_textKeys[i]));
        m_actions[i]->setText(text);
        m_actions[i]->setToolTip(text);
        m_actions[i]->setStatusTip(text);
    }
}

void ViewModeBar::showMode(EntryListView::Mode mode)
{
    m_actions[indexOf(mode)]->setChecked(true);
}

QAction* ViewModeBar::action(EntryListView::Mode mode) const
{
    return m_actions[indexOf(mode)];
}

QString ViewModeBar::caption(EntryListView::Mode mode) const
{
    return withoutMnemonic(getText(m_textKeys[indexOf(mode)]));
}
