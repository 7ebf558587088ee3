#pragma once

#include <QRect>
#include <QSize>

// Where the child windows go inside the main window's work area: the two panes side by side, each
// half as wide as the area, above the history and the transfer queue, which share the lower row
// half and half and end one pixel above the lower edge. The lower row takes a third of the height,
// and never less than the history's own height.
struct ChildWindowLayout {
    static constexpr int historyHeight = 134;
    static constexpr int bottomGap = 1;

    QRect local;
    QRect remote;
    QRect history;
    QRect queue;

    static ChildWindowLayout forArea(const QSize& area);
};
