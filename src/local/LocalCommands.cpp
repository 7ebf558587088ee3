#include "LocalCommands.h"

#include "LocalPane.h"
#include "UploadCommands.h"

LocalCommands::LocalCommands(LocalPane& pane, JobRunner& runner, LocalEnvironment environment, QWidget* window)
    : QObject(window)
    , m_pane(pane)
    , m_runner(runner)
    , m_environment(std::move(environment))
    , m_window(window)
    , m_uploads(new UploadCommands(pane, runner, m_environment, window))
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

void LocalCommands::upload()
{
    m_uploads->upload(UploadVariant::Main);
}

void LocalCommands::uploadFromMenu()
{
    m_uploads->upload(UploadVariant::ContextMenu);
}

void LocalCommands::uploadAs()
{
    m_uploads->uploadAs();
}
