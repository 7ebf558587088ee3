#pragma once

#include "PromptTypes.h"

class QWidget;

// Every message box and input box of the program goes through the current Prompter, so that
// tests can answer them without a modal loop.
class Prompter
{
public:
    virtual ~Prompter() = default;

    virtual PromptAnswer message(const MessageRequest& request, QWidget* parent) = 0;
    virtual InputAnswer input(const InputRequest& request, QWidget* parent) = 0;

    // The prompter in use: real dialogs unless a test installed its own.
    static Prompter& current();
    // Installs prompter (not owned); nullptr returns to the real dialogs.
    static void setCurrent(Prompter* prompter);
};

// Shorthands for the common cases.
PromptAnswer showMessage(QWidget* parent, const QString& text, PromptIcon icon,
                         PromptButtons buttons = PromptButtons::Ok, const QString& title = {});
InputAnswer askText(QWidget* parent, const QString& prompt, const QString& defaultAnswer = {},
                    InputPosition position = InputPosition::Centred);
