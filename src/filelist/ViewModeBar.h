#pragma once

#include "EntryListView.h"

#include <QToolBar>

#include <array>

// The four view buttons of a pane ("eins" large icons, "zwei" small icons, "drei" list, "vier"
// details), one of them checked, for the pane's EntryListView.
class ViewModeBar : public QToolBar
{
    Q_OBJECT

public:
    // textKeys: the catalogue keys of the four buttons' captions, in button order.
    ViewModeBar(const QString& objectName, const std::array<const char*, 4>& textKeys, QWidget* parent = nullptr);

    void retranslate();
    // Checks the button of mode without announcing it.
    void showMode(EntryListView::Mode mode);
    QAction* action(EntryListView::Mode mode) const;
    // The caption of a mode's button, without keyboard markers.
    QString caption(EntryListView::Mode mode) const;

Q_SIGNALS:
    void modeChosen(EntryListView::Mode mode);

private:
    std::array<const char*, 4> m_textKeys;
    std::array<QAction*, 4> m_actions{};
};
