// Connects to a server, changes to a folder and lists it into the remote pane the way the program
// does (the listing job on the session thread, the rows on this thread), without a window
// system. Run it on a large folder, e.g. one of 20,000 files:
//   remotelist [--passive] [--shown] [--view=large|small|list|details] [--grab=PNG] HOST PORT USER PASS DIR
// --grab saves a picture of the listed pane, to look at what a user would see.
// The time runs from the start of the listing until the rows are in the pane and the views have
// laid them out; connecting and changing folder are not counted. The last line is
// "rows=N seconds=S".
#include "JobContext.h"
#include "RemoteIconStore.h"
#include "RemoteOperations.h"
#include "RemotePane.h"
#include "SessionMaker.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int timeoutMilliseconds = 120'000;

RemotePane::ViewMode viewNamed(const QString& name)
{
    if (name == QLatin1String("large"))
        return RemotePane::ViewMode::LargeIcons;
    if (name == QLatin1String("small"))
        return RemotePane::ViewMode::SmallIcons;
    if (name == QLatin1String("list"))
        return RemotePane::ViewMode::List;
    return RemotePane::ViewMode::Details;
}

// Runs the event loop until signal of sender arrives; false on time-out.
template <typename Sender, typename Signal>
bool waitFor(Sender* sender, Signal signal)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(sender, signal, &loop, [&loop] { loop.exit(0); });
    QObject::connect(&timer, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
    timer.start(timeoutMilliseconds);
    return loop.exec() == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    ConnectionSettings settings;
    settings.ftp.passive = arguments.removeAll(QStringLiteral("--passive")) > 0;
    const bool shown = arguments.removeAll(QStringLiteral("--shown")) > 0;
    RemotePane::ViewMode view = RemotePane::ViewMode::Details;
    QString grabPath;
    for (const QString& argument : QStringList(arguments)) {
        if (argument.startsWith(QLatin1String("--view="))) {
            view = viewNamed(argument.mid(7));
            arguments.removeAll(argument);
        } else if (argument.startsWith(QLatin1String("--grab="))) {
            grabPath = argument.mid(7);
            arguments.removeAll(argument);
        }
    }
    if (arguments.size() != 5) {
        std::fprintf(stderr, "usage: remotelist [--passive] [--shown] [--view=large|small|list|details] "
                             "[--grab=PNG] HOST PORT USER PASS DIR\n");
        return 2;
    }
    settings.host = arguments[0];
    settings.port = arguments[1];
    settings.user = arguments[2];
    settings.password = arguments[3];
    const QString folder = arguments[4];

    // The texts of the rows (the folder type) come from the catalogue beside the program.
    TextCatalogue::instance().openCatalogue(QCoreApplication::applicationDirPath() + QStringLiteral("/lang.db"));
    TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));

    SessionRunner runner(makeSession);
    RemoteIconStore icons;
    RemotePane pane(runner, icons);
    pane.setViewMode(view);
    if (shown || !grabPath.isEmpty()) {
        pane.resize(1000, 700);
        pane.show();
    }

    QTextStream out(stdout);
    QTextStream err(stderr);
    auto entered = std::make_shared<QString>();
    runner.start<QString>(
        [settings, folder](JobContext& context) {
            RemoteOperations& session = context.session();
            if (!session.openConnection(settings))
                return QStringLiteral("connect failed: ") + session.lastError();
            if (!session.setDir(folder))
                return QStringLiteral("cd %1 failed: ").arg(folder) + session.lastError();
            return QString();
        },
        [entered](QString problem) { *entered = problem; });
    if (!waitFor(&runner, &SessionRunner::idle) || !entered->isEmpty() || !runner.isConnected()) {
        err << "remotelist: " << (entered->isEmpty() ? QStringLiteral("no connection") : *entered) << '\n';
        return 1;
    }

    QElapsedTimer timer;
    timer.start();
    pane.refreshRemote(true);
    if (!waitFor(&pane, &RemotePane::listingFinished)) {
        err << "remotelist: the listing did not end\n";
        return 1;
    }
    const qint64 listed = timer.nsecsElapsed();
    // The views lay out the new rows when events are processed; that belongs to the listing.
    QCoreApplication::processEvents();
    if (shown)
        pane.repaint();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    if (!grabPath.isEmpty() && !pane.grab().save(grabPath))
        err << "remotelist: could not save " << grabPath << '\n';
    out << "folder=" << pane.pathBox()->currentText() << '\n';
    out << "listed-seconds=" << QString::number(static_cast<double>(listed) / 1e9, 'f', 3) << '\n';
    out << "rows=" << pane.rows().size() << " seconds=" << QString::number(seconds, 'f', 3) << '\n';
    out.flush();
    return 0;
}
