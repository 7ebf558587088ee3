#pragma once

#include <QString>
#include <QStringList>

enum class PromptIcon { None, Information, Exclamation, Critical, Question };
// Ok; Yes and No; or three choices named by the request's choiceTexts (the answers First, Second,
// Third; closing the box answers Third).
enum class PromptButtons { Ok, YesNo, ThreeChoices };
enum class PromptAnswer { Ok, Yes, No, First, Second, Third };

// A message box: its text, icon and buttons; the program's title unless one is given.
struct MessageRequest {
    QString text;
    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons = PromptButtons::Ok;
    QString title;
    QStringList choiceTexts = {}; // the captions of ThreeChoices
};

// Where an input box appears: centred on its parent, or with its upper left corner 66 pixels left
// of and 100 pixels above the centre of the screen.
enum class InputPosition { Centred, NearScreenCentre };

// A text input box: a prompt, the program's title unless one is given, and a default answer.
struct InputRequest {
    QString prompt;
    QString defaultAnswer;
    InputPosition position = InputPosition::Centred;
    QString title;
    bool masked = false; // a password: the answer shows as dots
};

// The answer of an input box: accepted with a text, or cancelled.
struct InputAnswer {
    bool accepted = false;
    QString text;
};
