#pragma once

#include "FileEntry.h"

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class TypeInfoProvider;

// "frmUploadAls": shows one local file (its type, size, date, picture and name) and asks for the
// name it is to have on the server. Upload accepts, Cancel (and the close box) rejects; the
// upload itself is the command's.
class UploadAsDialog : public QDialog
{
    Q_OBJECT

public:
    // provider names the type and gives the picture (not owned; nullptr: the MIME database). The
    // type is judged by the name alone, as for a file that exists only on the server.
    UploadAsDialog(const FileEntry& entry, TypeInfoProvider* provider, QWidget* parent = nullptr);
    ~UploadAsDialog() override;

    // The file's name as listed.
    QString localName() const { return m_entry.name; }
    // The name typed, without blanks around it.
    QString newName() const;
    QLineEdit* newNameEdit() const { return m_newName; }

private:
    QLabel* addValue(const char* name, const QString& text);

    FileEntry m_entry;
    std::unique_ptr<TypeInfoProvider> m_ownedProvider;
    QLineEdit* m_newName = nullptr;
};
