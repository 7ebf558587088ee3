#include "RegionFocus.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

RegionFocus::RegionFocus(QWidget* window, QMdiArea* mdi, QList<Region> regions)
    : QObject(window)
    , m_mdi(mdi)
    , m_regions(std::move(regions))
{
    for (const auto& [key, step] : {std::pair{QKeySequence(Qt::Key_F6), 1}, {QKeySequence(Qt::SHIFT | Qt::Key_F6), -1}}) {
        auto* action = new QAction(window);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, [this, step] { move(step); });
        window->addAction(action);
    }
}

void RegionFocus::move(int step)
{
    const qsizetype count = m_regions.size();
    qsizetype current = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (m_regions[i].area->isAncestorOf(QApplication::focusWidget()))
            current = i;
    }
    const Region& next = m_regions[(current + step + count) % count];
    if (auto* child = qobject_cast<QMdiSubWindow*>(next.area))
        m_mdi->setActiveSubWindow(child);
    if (QWidget* target = next.focus())
        target->setFocus(Qt::TabFocusReason);
}
