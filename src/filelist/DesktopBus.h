#pragma once

#include <QString>

#include <functional>

class QObject;

// The desktop's own views that answer on the session bus. Each call returns at once; when nothing
// on the bus can do what was asked, unavailable runs instead (on the GUI thread, perhaps before
// the call returns). It does not run when the desktop answered, also not when the user then
// cancelled there. Nothing runs once context is gone.
namespace DesktopBus {

// The desktop portal's chooser of a program for the local file path, which then opens the file
// with the program chosen (org.freedesktop.portal.OpenURI, OpenFile with "ask").
void chooseProgram(const QString& path, QObject* context, std::function<void()> unavailable);

// The file manager's properties view of path (org.freedesktop.FileManager1.ShowItemProperties).
void showItemProperties(const QString& path, QObject* context, std::function<void()> unavailable);

} // namespace DesktopBus
