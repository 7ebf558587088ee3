#pragma once

#include <QStringList>

class QWidget;

// Walks a window's accessibility tree as a screen reader sees it and lists what a user of one could
// not find or tell apart: inputs, views, text areas, buttons and actions without a name, and
// siblings that share a name.
namespace AccessibilityAudit {

QStringList problems(QWidget* window);

} // namespace AccessibilityAudit
