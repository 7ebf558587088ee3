#pragma once

#include <QRect>
#include <QSize>

// Where the three child windows go inside the main window's work area: the two panes side by
// side, each half as wide as the area, above the history, which spans the full width and ends
// one pixel above the lower edge.
struct ChildWindowLayout {
    static constexpr int historyHeight = 134;
    static constexpr int bottomGap = 1;

    QRect local;
    QRect remote;
    QRect history;

    static ChildWindowLayout forArea(const QSize& area);
};
