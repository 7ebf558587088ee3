#include "DialogPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

QMessageBox::Icon toMessageBoxIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Exclamation:
        return QMessageBox::Warning;
    case PromptIcon::Critical:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A box without a title of its own carries the program's, as its title bar shows it: without one,
// a screen reader announces a nameless dialog.
QString titleOf(const QString& title)
{
    return title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
}

// Where an input box near the screen's centre has its upper left corner, from that centre.
const QPoint offsetFromScreenCentre(-66, -100);

} // namespace

PromptAnswer DialogPrompter::message(const MessageRequest& request, QWidget* parent)
{
    QMessageBox box(toMessageBoxIcon(request.icon), titleOf(request.title), request.text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    if (request.buttons == PromptButtons::ThreeChoices && request.choiceTexts.size() == 3) {
        QAbstractButton* first = box.addButton(request.choiceTexts[0], QMessageBox::AcceptRole);
        QAbstractButton* second = box.addButton(request.choiceTexts[1], QMessageBox::AcceptRole);
        QAbstractButton* third = box.addButton(request.choiceTexts[2], QMessageBox::RejectRole);
        box.setEscapeButton(third);
        box.setDefaultButton(qobject_cast<QPushButton*>(third));
        box.exec();
        return box.clickedButton() == first ? PromptAnswer::First
             : box.clickedButton() == second ? PromptAnswer::Second
                                             : PromptAnswer::Third;
    }
    if (request.buttons == PromptButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? PromptAnswer::Yes : PromptAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return PromptAnswer::Ok;
}

InputAnswer DialogPrompter::input(const InputRequest& request, QWidget* parent)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(titleOf(request.title));
    dialog.setLabelText(request.prompt);
    dialog.setTextValue(request.defaultAnswer);
    dialog.setInputMode(QInputDialog::TextInput);
    if (request.masked)
        dialog.setTextEchoMode(QLineEdit::Password);
    if (request.position == InputPosition::NearScreenCentre) {
        const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QPoint centre = screen->geometry().center();
            dialog.move(centre + offsetFromScreenCentre);
        }
    }
    const bool accepted = dialog.exec() == QDialog::Accepted;
    return {accepted, accepted ? dialog.textValue() : QString()};
}
