// Deletes a local tree the way the user does (the local pane's delete command, answered Yes) and
// the same tree with rm -rf, and reports both times. While the command runs, a 10 ms timer on the
// GUI thread measures the longest stall of the window, and the history lines and progress steps
// that reached it are counted. Each run deletes a fresh tree of its own:
//   localdelete [--files 20000] [--in DIR] [--runs 3]
// The tree: 100 folders of files, a few bytes each. The last line is
// "files=N rm-seconds=S command-seconds=S ratio=R max-stall-ms=M".
#include "LocalActions.h"
#include "LocalCommands.h"
#include "LocalPane.h"
#include "Prompter.h"
#include "SessionMaker.h"
#include "SessionRunner.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace {

// Says Yes to the delete question and OK to everything else.
class YesPrompter : public Prompter
{
public:
    PromptAnswer message(const MessageRequest& request, QWidget*) override
    {
        return request.buttons == PromptButtons::YesNo ? PromptAnswer::Yes : PromptAnswer::Ok;
    }
    InputAnswer input(const InputRequest&, QWidget*) override { return {}; }
};

void makeTree(const QString& root, int files)
{
    constexpr int folders = 100;
    QDir().mkpath(root);
    for (int i = 0; i < files; ++i) {
        const QString folder = root + QStringLiteral("/d%1").arg(i % folders, 3, 10, QLatin1Char('0'));
        if (i < folders)
            QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/file%1.txt").arg(i));
        if (file.open(QIODevice::WriteOnly))
            file.write("some bytes\n");
    }
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int files = 20000;
    int runs = 3;
    QString base = QDir::currentPath();
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QStringLiteral("--files"))
            files = arguments[i + 1].toInt();
        else if (arguments[i] == QStringLiteral("--in"))
            base = arguments[i + 1];
        else if (arguments[i] == QStringLiteral("--runs"))
            runs = arguments[i + 1].toInt();
    }
    const QString work = base + QStringLiteral("/localdelete-bench");
    QDir(work).removeRecursively();
    QDir().mkpath(work);

    YesPrompter prompter;
    Prompter::setCurrent(&prompter);
    QWidget window;
    auto* pane = new LocalPane(&window);
    SessionRunner runner(makeSession);
    int lines = 0;
    LocalEnvironment environment;
    environment.appendHistory = [&lines](const QString&, HistoryColour) { ++lines; };
    LocalActions actions(*pane, runner, environment, &window);
    int progressSteps = 0;
    QObject::connect(&actions.commands(), &LocalCommands::progressChanged, [&progressSteps] { ++progressSteps; });
    pane->changeDrive(work);

    QTextStream out(stdout);
    QList<double> rmTimes, commandTimes, stalls;
    for (int run = 0; run < runs; ++run) {
        const QString victim = work + QStringLiteral("/tree");
        makeTree(victim, files);
        QElapsedTimer timer;
        timer.start();
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), victim});
        rmTimes.append(static_cast<double>(timer.nsecsElapsed()) / 1e9);

        makeTree(victim, files);
        pane->refreshLocal();
        pane->listView()->detailView()->selectAll();
        lines = 0;
        progressSteps = 0;
        qint64 lastTick = 0;
        qint64 longestStall = 0;
        QTimer ticker;
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = timer.nsecsElapsed();
            longestStall = std::max(longestStall, now - lastTick);
            lastTick = now;
        });
        QEventLoop loop;
        QObject::connect(&actions.commands(), &LocalCommands::deleteFinished, &loop, &QEventLoop::quit);
        timer.restart();
        ticker.start();
        // The command returns once the work is handed over; the window keeps running meanwhile.
        actions.action(LocalCommand::Delete)->trigger();
        loop.exec();
        ticker.stop();
        commandTimes.append(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        stalls.append(static_cast<double>(longestStall) / 1e6);
        out << "run " << run + 1 << ": rm-seconds=" << QString::number(rmTimes.last(), 'f', 3)
            << " command-seconds=" << QString::number(commandTimes.last(), 'f', 3)
            << " max-stall-ms=" << QString::number(stalls.last(), 'f', 1) << " history-lines=" << lines
            << " progress-steps=" << progressSteps << " left=" << QDir(victim).exists() << Qt::endl;
    }
    QDir(work).removeRecursively();
    const double rm = median(rmTimes);
    const double command = median(commandTimes);
    out << "files=" << files << " rm-seconds=" << QString::number(rm, 'f', 3)
        << " command-seconds=" << QString::number(command, 'f', 3) << " ratio=" << QString::number(command / rm, 'f', 2)
        << " max-stall-ms=" << QString::number(median(stalls), 'f', 1) << Qt::endl;
    Prompter::setCurrent(nullptr);
    return 0;
}
