#pragma once

#include "EntryListModel.h"
#include "RemoteActions.h"
#include "RemoteIconStore.h"
#include "RemotePane.h"
#include "ScriptedPrompter.h"
#include "TestHelpers.h"

#include <QAction>
#include <QItemSelectionModel>

// The remote pane with its actions on a runner (an InlineJobRunner on the in-memory server, or a
// SessionRunner on a real one), in a window of its own: boxes answered by the script, every
// history line (the jobs' and the GUI side's) collected as "colour<TAB>text".
struct RemoteFixture {
    RemoteFixture(JobRunner& jobs, RemoteEnvironment environment, TypeInfoProvider* provider = nullptr)
        : runner(jobs)
    {
        runner.setMessageHandler([this](const MessageRequest& request) { return prompter.message(request, nullptr); });
        runner.setInputHandler([this](const InputRequest& request) { return prompter.input(request, nullptr); });
        recordHistory(runner, lines, &window);
        environment.appendHistory = recorderOf(lines);
        pane = new RemotePane(runner, icons, &window, provider);
        actions = new RemoteActions(*pane, runner, std::move(environment), &window);
        window.setWindowTitle(QStringLiteral("Server"));
        window.resize(700, 400);
        pane->resize(700, 400);
    }

    // Runs action and waits for the listing it starts and everything after it.
    bool list(const std::function<void()>& action)
    {
        QSignalSpy finished(pane, &RemotePane::listingFinished);
        action();
        return (!finished.isEmpty() || finished.wait(jobTimeout))
               && QTest::qWaitFor([this] { return !pane->isBusy(); }, jobTimeout);
    }

    bool connectAndList(const ConnectionSettings& settings = {})
    {
        return runJob(runner, [settings](JobContext& context) { context.session().openConnection(settings); })
               && runner.isConnected() && list([this] { pane->refreshRemote(true); });
    }

    // Triggers command and waits until everything it started has ended.
    bool run(RemoteCommand command)
    {
        QSignalSpy idle(&runner, &JobRunner::idle);
        actions->action(command)->trigger();
        return !runner.isBusy() || idle.wait(jobTimeout);
    }

    int rowOf(const QString& name) const { return static_cast<int>(namesOf(pane->rows()).indexOf(name)); }

    // Selects the rows of names; the first becomes the current row.
    void select(const QStringList& names)
    {
        QItemSelectionModel* selection = pane->listView()->selectionModel();
        selection->clearSelection();
        for (const QString& name : names) {
            const QModelIndex index = pane->model()->index(rowOf(name), 0);
            QVERIFY2(index.isValid(), qPrintable(name));
            selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            if (name == names.first())
                selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
    }

    ScriptedPrompter prompter;
    JobRunner& runner;
    QStringList lines;
    RemoteIconStore icons;
    QWidget window;
    RemotePane* pane = nullptr;
    RemoteActions* actions = nullptr;
};
