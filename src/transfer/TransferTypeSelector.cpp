#include "TransferTypeSelector.h"

#include <QAction>
#include <QComboBox>
#include <QSignalBlocker>

TransferTypeSelector::TransferTypeSelector(QComboBox* combo, QAction* ascii, QAction* binary, QAction* automatic,
                                           QObject* parent)
    : QObject(parent)
    , m_combo(combo)
    , m_actions{ascii, binary, automatic}
{
    for (int i = 0; i < 3; ++i) {
        m_actions[i]->setCheckable(true);
        connect(m_actions[i], &QAction::triggered, this, [this, i] { selectTransferType(static_cast<TransferType>(i)); });
    }
    connect(m_combo, &QComboBox::currentIndexChanged, this, &TransferTypeSelector::comboChanged);
}

void TransferTypeSelector::selectTransferType(TransferType type)
{
    m_flag = type == TransferType::Ascii ? TransferFlag::Ascii : TransferFlag::Binary;
    const int index = static_cast<int>(type);
    for (int i = 0; i < 3; ++i)
        m_actions[i]->setChecked(i == index);
    const QSignalBlocker blocker(m_combo);
    m_combo->setCurrentIndex(index);
}

TransferType TransferTypeSelector::transferType() const
{
    const int index = m_combo->currentIndex();
    return index >= 0 && index <= 2 ? static_cast<TransferType>(index) : TransferType::Auto;
}

void TransferTypeSelector::comboChanged(int index)
{
    if (index < 0 || index > 2)
        return;
    // The original judged "starting up" by an empty history, so after the user cleared the log a
    // combo choice silently became binary and left the menu out of step; we ask the window instead.
    if (m_startingUp) {
        m_flag = TransferFlag::Binary;
        return;
    }
    selectTransferType(static_cast<TransferType>(index));
}
