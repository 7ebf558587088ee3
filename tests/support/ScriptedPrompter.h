#pragma once

#include "Prompter.h"

#include <QList>
#include <QQueue>

// Answers message and input boxes from queues instead of showing them, and records every request.
// Installs itself for its lifetime. An unexpected box (empty queue) is answered with OK / No /
// cancel and still recorded, so a test can fail on it.
class ScriptedPrompter : public Prompter
{
public:
    ScriptedPrompter() { Prompter::setCurrent(this); }
    ~ScriptedPrompter() override { Prompter::setCurrent(nullptr); }

    PromptAnswer message(const MessageRequest& request, QWidget*) override
    {
        messages.append(request);
        if (!messageAnswers.isEmpty())
            return messageAnswers.dequeue();
        if (request.buttons == PromptButtons::ThreeChoices)
            return PromptAnswer::Third;
        return request.buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
    }

    InputAnswer input(const InputRequest& request, QWidget*) override
    {
        inputs.append(request);
        if (!inputAnswers.isEmpty())
            return inputAnswers.dequeue();
        return {};
    }

    QList<MessageRequest> messages;
    QList<InputRequest> inputs;
    QQueue<PromptAnswer> messageAnswers;
    QQueue<InputAnswer> inputAnswers;
};
