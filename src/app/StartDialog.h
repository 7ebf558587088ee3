#pragma once

#include <QDialog>

class QComboBox;

// The first window: the user picks the language of the program.
class StartDialog : public QDialog
{
    Q_OBJECT

public:
    explicit StartDialog(QWidget* parent = nullptr);

    QComboBox* languageList() const { return m_languages; }

    // Records the chosen language's text table (nothing when no row matches) and closes.
    void accept() override;

private:
    QComboBox* m_languages;
};
