#include "Prompter.h"

#include "DialogPrompter.h"

namespace {
Prompter* installedPrompter = nullptr;
}

Prompter& Prompter::current()
{
    static DialogPrompter dialogs;
    return installedPrompter ? *installedPrompter : dialogs;
}

void Prompter::setCurrent(Prompter* prompter)
{
    installedPrompter = prompter;
}

PromptAnswer showMessage(QWidget* parent, const QString& text, PromptIcon icon, PromptButtons buttons,
                         const QString& title)
{
    return Prompter::current().message({text, icon, buttons, title}, parent);
}

InputAnswer askText(QWidget* parent, const QString& prompt, const QString& defaultAnswer, InputPosition position)
{
    return Prompter::current().input({prompt, defaultAnswer, position, {}}, parent);
}
