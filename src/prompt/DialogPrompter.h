#pragma once

#include "Prompter.h"

// The real dialogs: QMessageBox and QInputDialog, run modally.
class DialogPrompter : public Prompter
{
public:
    PromptAnswer message(const MessageRequest& request, QWidget* parent) override;
    InputAnswer input(const InputRequest& request, QWidget* parent) override;
};
