#include "LocalCommands.h"

#include "LocalPane.h"

LocalCommands::LocalCommands(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window)
    : QObject(window)
    , m_pane(pane)
    , m_runner(runner)
    , m_environment(std::move(environment))
    , m_window(window)
{
}

void LocalCommands::refresh()
{
    m_pane.refreshLocal();
}

void LocalCommands::refreshFromMenu()
{
    m_pane.viewFolder(m_pane.currentFolderPath(), CompareMode::Code, AttributeOrder::Command);
}
