// Reads and presents a folder the way the local pane does, without showing a window, and
// reports how long it took. Run it on a large folder, e.g. one of 20,000 files:
//   locallist /path/to/folder
// The last line is "entries=N seconds=S". With --shown the pane is shown (offscreen) and the
// time includes laying out and painting the list; --view=large|small|list|details picks its view.
#include "LocalPane.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool shown = arguments.removeAll(QStringLiteral("--shown")) > 0;
    LocalPane::ViewMode view = LocalPane::ViewMode::Details;
    for (const QString& argument : arguments) {
        if (!argument.startsWith(QStringLiteral("--view=")))
            continue;
        const QString name = argument.mid(7);
        view = name == QStringLiteral("large")   ? LocalPane::ViewMode::LargeIcons
               : name == QStringLiteral("small") ? LocalPane::ViewMode::SmallIcons
               : name == QStringLiteral("list")  ? LocalPane::ViewMode::List
                                                 : LocalPane::ViewMode::Details;
        arguments.removeAll(argument);
        break;
    }
    if (arguments.size() != 1) {
        std::fprintf(stderr, "usage: locallist [--shown] [--view=large|small|list|details] DIR\n");
        return 2;
    }
    const QString folder = arguments.first();

    LocalPane pane;
    pane.setViewMode(view);
    if (shown) {
        pane.resize(1000, 700);
        pane.show();
    }
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    pane.viewFolder(folder);
    const qint64 listed = timer.nsecsElapsed();
    // The views lay out the new rows when events are processed; that belongs to the listing.
    QCoreApplication::processEvents();
    if (shown)
        pane.repaint();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    QTextStream out(stdout);
    out << "folder=" << pane.listedFolder() << '\n';
    out << "read-and-rows-seconds=" << QString::number(static_cast<double>(listed) / 1e9, 'f', 3) << '\n';
    out << "entries=" << pane.entries().size() << " seconds=" << QString::number(seconds, 'f', 3) << '\n';
    return pane.listedFolder().isEmpty() ? 1 : 0;
}
