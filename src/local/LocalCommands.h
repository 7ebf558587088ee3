#pragma once

#include "LocalEnvironment.h"

#include <QObject>

class JobRunner;
class LocalPane;
class QWidget;

// What the local commands do. Each reads its inputs from the pane when it starts (the current
// folder, the selected rows) and shows its result in the pane.
class LocalCommands : public QObject
{
    Q_OBJECT

public:
    LocalCommands(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window);

    void refresh();
    void refreshFromMenu();

private:
    LocalPane& m_pane;
    JobRunner& m_runner;
    LocalEnvironment m_environment;
    QWidget* m_window;
};
