#pragma once

#include <QList>
#include <QObject>

#include <functional>

class QMdiArea;
class QMdiSubWindow;
class QWidget;

// F6 and Shift+F6 move the focus between the regions of the main window (the connection bar, the
// child windows), as Tab stays inside a child window in every MDI window.
class RegionFocus : public QObject
{
    Q_OBJECT

public:
    struct Region {
        QWidget* area;                   // the bar, or a child window
        std::function<QWidget*()> focus; // the control that takes the focus there, asked each time
    };

    RegionFocus(QWidget* window, QMdiArea* mdi, QList<Region> regions);

    // Moves to the next region (step 1) or the previous one (step -1).
    void move(int step);

private:
    QMdiArea* m_mdi;
    QList<Region> m_regions;
};
