#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

// "frmASCIIListe": edits the list of extensions AUTO uploads send as ASCII. Add asks for an
// extension and upper-cases it, Remove asks first, Accept saves the list and closes, Cancel
// closes without saving. A list that cannot be saved is reported and the dialog stays open.
class AsciiListDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AsciiListDialog(QWidget* parent = nullptr);

    QStringList entries() const;
    QListWidget* list() const { return m_list; }

    void add();
    void remove();
    // Saves and closes; on failure shows why and stays open.
    void saveAndClose();

private:
    QListWidget* m_list;
};
