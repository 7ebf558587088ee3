#pragma once

#include <QRect>
#include <QSize>

// Where the three child windows go inside the main window's work area: the two panes side by
// side, each half as wide as the area, above the history, which spans the full width and ends
// one pixel (10 twips) above the lower edge.
struct ChildWindowLayout {
    static constexpr int historyHeight = 134; // 2010 twips
    static constexpr int bottomGap = 1;       // 10 twips

    QRect local;
    QRect remote;
    QRect history;

    static ChildWindowLayout forArea(const QSize& area);
};
