#include "AsciiListDialog.h"

#include "AsciiList.h"
#include "Prompter.h"
#include "TextCatalogue.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

QPushButton* addButton(QDialog* dialog, const char* name, const char* key)
{
    auto* button = new QPushButton(getText(key), dialog);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

AsciiListDialog::AsciiListDialog(QWidget* parent)
    : QDialog(parent)
    , m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("frmASCIIListe"));
    setWindowTitle(withoutMnemonic(getText("FRMASCIILISTE_CAPTION")));

    m_list->setObjectName(QStringLiteral("lstASCIIList"));
    m_list->setAccessibleName(withoutMnemonic(getText("FRMASCIILISTE_CAPTION")));
    m_list->addItems(AsciiList::load());

    auto* help = new QLabel(getText("FRMASCIILISTE_ASCII_HELP"), this);
    help->setObjectName(QStringLiteral("lblHilfe"));
    help->setWordWrap(true);

    QPushButton* addEntry = addButton(this, "cmdAdd", "FERMASCIILISTE_ADD");
    QPushButton* removeEntry = addButton(this, "cmdRemove", "FERMASCIILISTE_REMOVE");
    QPushButton* accept = addButton(this, "cmdUebernehmen", "FERMASCIILISTE_TAKE");
    QPushButton* cancel = addButton(this, "cmdAbbrechen", "FERMASCIILISTE_CANCEL");
    connect(addEntry, &QPushButton::clicked, this, &AsciiListDialog::add);
    connect(removeEntry, &QPushButton::clicked, this, &AsciiListDialog::remove);
    connect(accept, &QPushButton::clicked, this, &AsciiListDialog::saveAndClose);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_list, 0, 0, 5, 1);
    layout->addWidget(addEntry, 0, 1);
    layout->addWidget(removeEntry, 1, 1);
    layout->addWidget(accept, 3, 1);
    layout->addWidget(cancel, 4, 1);
    layout->addWidget(help, 5, 0, 1, 2);
    layout->setRowStretch(2, 1);
}

QStringList AsciiListDialog::entries() const
{
    QStringList result;
    for (int row = 0; row < m_list->count(); ++row)
        result.append(m_list->item(row)->text());
    return result;
}

void AsciiListDialog::add()
{
    const InputAnswer answer = askText(this, getText("FRMASCIILISTE_NEWEXT"));
    const QString extension = answer.text.toUpper();
    // Blanks alone make no extension: read back, such an entry is gone.
    if (!answer.accepted || extension.trimmed().isEmpty())
        return;
    // Exact comparison: a "txt" read from the file does not stop a new "TXT".
    if (entries().contains(extension)) {
        showMessage(this, getText("FRMASCIILISTE_ENTRYDA"), PromptIcon::Information);
        return;
    }
    m_list->addItem(extension);
}

void AsciiListDialog::remove()
{
    QListWidgetItem* item = m_list->currentItem();
    if (!item || !item->isSelected())
        return;
    const QString question = getText("FRMASCIILISTE_ENTRYDEL1") + QLatin1Char(' ') + item->text() + QLatin1Char(' ')
                             + getText("FRMASCIILISTE_ENTRYDEL2");
    if (showMessage(this, question, PromptIcon::None, PromptButtons::YesNo) == PromptAnswer::Yes)
        delete m_list->takeItem(m_list->row(item));
}

void AsciiListDialog::saveAndClose()
{
    QString error;
    if (!AsciiList::save(entries(), &error)) {
        showMessage(this, getText("FRMASCIILISTE_SAVEFAILED") + QLatin1Char('\n') + error, PromptIcon::Exclamation);
        return;
    }
    accept();
}
