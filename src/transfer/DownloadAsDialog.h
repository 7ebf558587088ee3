#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class TypeInfoProvider;

// The download-as dialog "frmDownloadAls": one server file - its name, type, size, date and
// large picture - and the name to save it under, proposed as the same name and selected, so
// that typing replaces it. The download itself is the caller's, on accepted().
//
// The new name is trimmed and must be a plain file name: one holding "/" or NUL, or "." or "..",
// is refused with a message and the dialog stays open, so nothing is ever written outside the
// folder the file goes to.
class DownloadAsDialog : public QDialog
{
    Q_OBJECT

public:
    // What the dialog shows of the server file, as its row shows it.
    struct RemoteFile {
        QString name;
        QString sizeText;
        QString dateText;
    };

    // provider names the type and gives the picture by the file's name (not owned).
    DownloadAsDialog(const RemoteFile& file, TypeInfoProvider& provider, QWidget* parent = nullptr);

    QString remoteName() const { return m_remoteName; }
    // The new name as typed, blanks at both ends removed.
    QString newName() const;

    QLineEdit* newNameEdit() const { return m_newName; }
    QPushButton* downloadButton() const { return m_download; }
    QLabel* typeLabel() const { return m_type; }

public Q_SLOTS:
    // Closes with the download only when the new name is a plain file name or empty (an empty
    // one fails like a transfer that cannot be stored).
    void accept() override;

private:
    QString m_remoteName;
    QLabel* m_type = nullptr;
    QLineEdit* m_newName = nullptr;
    QPushButton* m_download = nullptr;
};
