#include "ChildWindowLayout.h"

#include <algorithm>

ChildWindowLayout ChildWindowLayout::forArea(const QSize& area)
{
    ChildWindowLayout layout;
    const int width = std::max(area.width(), 0);
    const int historyTop = std::max(area.height() - historyHeight - bottomGap, 0);
    const int half = width / 2;
    layout.local = QRect(0, 0, half, historyTop);
    layout.remote = QRect(half, 0, half, historyTop);
    layout.history = QRect(0, historyTop, width, historyHeight);
    return layout;
}
