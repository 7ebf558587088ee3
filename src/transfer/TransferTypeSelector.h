#pragma once

#include "TransferFlag.h"
#include "TransferType.h"

#include <QObject>

class QAction;
class QComboBox;

// Keeps the transfer-type combo box and the three menu items in step and holds the program-wide
// transfer flag that uploads are opened with.
class TransferTypeSelector : public QObject
{
    Q_OBJECT

public:
    TransferTypeSelector(QComboBox* combo, QAction* ascii, QAction* binary, QAction* automatic,
                         QObject* parent = nullptr);

    // Sets the flag (ASCII: ASCII; BINARY and AUTO: binary), checks the matching menu item only and
    // selects the matching combo entry.
    void selectTransferType(TransferType type);

    // While the main window starts up, filling the combo box only sets the flag to binary.
    void setStartingUp(bool startingUp) { m_startingUp = startingUp; }

    TransferType transferType() const;
    TransferFlag transferFlag() const { return m_flag; }
    // AUTO uploads decide per file and leave their decision in the flag.
    void setTransferFlag(TransferFlag flag) { m_flag = flag; }

private:
    void comboChanged(int index);

    QComboBox* m_combo;
    QAction* m_actions[3];
    TransferFlag m_flag = TransferFlag::Binary;
    bool m_startingUp = true;
};
