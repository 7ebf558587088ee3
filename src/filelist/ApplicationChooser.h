#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLineEdit;
class QListWidget;

// Our chooser of a program for a file, for sessions without the desktop's own: the programs
// registered for the file's type (the default first), then every program, and a field for a
// command line of one's own. The choice is started with the file's path as one argument.
class ApplicationChooser : public QDialog
{
    Q_OBJECT

public:
    // Row data: the desktop entry id of a program's row (section titles have none).
    static constexpr int IdRole = Qt::UserRole;

    explicit ApplicationChooser(const QString& document, QWidget* parent = nullptr);

    QListWidget* applications() const { return m_list; }
    QLineEdit* commandLine() const { return m_commandLine; }

    // Starts what was chosen (the command line when one was typed, else the selected program)
    // with the document; false when nothing was chosen or it could not start.
    bool launchChoice() const;

private:
    void addTitle(const QString& title);
    void updateOpenButton();
    QString chosenId() const;

    QString m_document;
    QListWidget* m_list;
    QLineEdit* m_commandLine;
    QDialogButtonBox* m_buttons;
};
