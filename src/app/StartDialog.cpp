#include "StartDialog.h"

#include "TextCatalogue.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

// The dialog's texts are fixed German: no language has been chosen yet.
StartDialog::StartDialog(QWidget* parent)
    : QDialog(parent)
    , m_languages(new QComboBox(this))
{
    setObjectName(QStringLiteral("frmStart"));
    setWindowTitle(QStringLiteral("Bitte wählen Sie Ihre Sprache"));

    auto* prompt = new QLabel(QStringLiteral("Bitte wählen Sie Ihre Sprache:"), this);
    m_languages->setObjectName(QStringLiteral("cboSprache"));
    m_languages->setAccessibleDescription(QStringLiteral("Sprache des Programms"));
    prompt->setBuddy(m_languages);

    const QIcon globe = style()->standardIcon(QStyle::SP_ComputerIcon);
    auto* left = new QLabel(this);
    left->setObjectName(QStringLiteral("picLinks"));
    left->setPixmap(globe.pixmap(32, 32));
    auto* right = new QLabel(this);
    right->setObjectName(QStringLiteral("picRechts"));
    right->setPixmap(globe.pixmap(32, 32));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("cmdOk"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cmdAbbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &StartDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &StartDialog::reject);

    auto* middle = new QVBoxLayout;
    middle->addWidget(prompt);
    middle->addWidget(m_languages);
    auto* row = new QHBoxLayout;
    row->addWidget(left);
    row->addLayout(middle, 1);
    row->addWidget(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);

    for (const auto& language : TextCatalogue::instance().languages())
        m_languages->addItem(language.displayName);
    m_languages->setCurrentIndex(m_languages->count() > 0 ? 0 : -1);
}

void StartDialog::accept()
{
    hide();
    const QString chosen = m_languages->currentText();
    // Rows are searched in list order, so of two rows with the same name the first wins.
    for (const auto& language : TextCatalogue::instance().languages()) {
        if (language.displayName == chosen && m_languages->currentIndex() >= 0) {
            TextCatalogue::instance().setChosenTable(language.table);
            break;
        }
    }
    QDialog::accept();
}
