#include "ChildWindowLayout.h"

#include <algorithm>

ChildWindowLayout ChildWindowLayout::forArea(const QSize& area)
{
    ChildWindowLayout layout;
    const int width = std::max(area.width(), 0);
    const int height = std::max(area.height(), 0);
    // A queue needs room for a few rows below its tabs and column headers.
    const int bottomHeight = std::max(historyHeight, height / 3);
    const int bottomTop = std::max(height - bottomHeight - bottomGap, 0);
    const int half = width / 2;
    layout.local = QRect(0, 0, half, bottomTop);
    layout.remote = QRect(half, 0, half, bottomTop);
    layout.history = QRect(0, bottomTop, half, bottomHeight);
    layout.queue = QRect(half, bottomTop, width - half, bottomHeight);
    return layout;
}
