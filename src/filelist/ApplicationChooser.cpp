#include "ApplicationChooser.h"

#include "ShellServices.h"
#include "TextCatalogue.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

ApplicationChooser::ApplicationChooser(const QString& document, QWidget* parent)
    : QDialog(parent)
    , m_document(document)
    , m_list(new QListWidget)
    , m_commandLine(new QLineEdit)
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel))
{
    setObjectName(QStringLiteral("frmOpenWith"));
    setWindowTitle(withoutMnemonic(getText("APPCHOOSER_CAPTION")));
    resize(420, 480);

    auto* prompt = new QLabel(getText("APPCHOOSER_PROMPT") + QLatin1Char(' ') + QFileInfo(document).fileName());
    prompt->setWordWrap(true);
    prompt->setBuddy(m_list);
    m_list->setObjectName(QStringLiteral("lstPrograms"));
    m_list->setAccessibleName(withoutMnemonic(getText("APPCHOOSER_PROMPT")));
    m_list->setIconSize(QSize(24, 24));
    auto* commandLabel = new QLabel(getText("APPCHOOSER_COMMAND"));
    commandLabel->setBuddy(m_commandLine);
    m_commandLine->setObjectName(QStringLiteral("txtCommand"));
    m_commandLine->setAccessibleName(withoutMnemonic(getText("APPCHOOSER_COMMAND")));
    m_buttons->button(QDialogButtonBox::Open)->setText(getText("APPCHOOSER_OPEN"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(getText("APPCHOOSER_CANCEL"));

    // The programs for the type first, then every other one; a section without programs is left out.
    QSet<QString> listed;
    const auto addSection = [this, &listed](const QString& title, const QList<ShellServices::Application>& applications) {
        QList<ShellServices::Application> fresh;
        for (const ShellServices::Application& application : applications) {
            if (!application.id.isEmpty() && !listed.contains(application.id)) {
                listed.insert(application.id);
                fresh.append(application);
            }
        }
        if (fresh.isEmpty())
            return;
        addTitle(title);
        for (const ShellServices::Application& application : fresh) {
            auto* item = new QListWidgetItem(application.icon, application.name, m_list);
            item->setData(IdRole, application.id);
        }
    };
    addSection(getText("APPCHOOSER_RECOMMENDED"), ShellServices::applicationsFor(document));
    addSection(getText("APPCHOOSER_ALL"), ShellServices::allApplications());
    // The first program, which is the default one when the type has one.
    if (m_list->count() > 1)
        m_list->setCurrentRow(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(m_list, 1);
    layout->addWidget(commandLabel);
    layout->addWidget(m_commandLine);
    layout->addWidget(m_buttons);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] {
        if (!chosenId().isEmpty())
            accept();
    });
    connect(m_list, &QListWidget::currentRowChanged, this, &ApplicationChooser::updateOpenButton);
    connect(m_commandLine, &QLineEdit::textChanged, this, &ApplicationChooser::updateOpenButton);
    updateOpenButton();
}

void ApplicationChooser::addTitle(const QString& title)
{
    auto* item = new QListWidgetItem(title, m_list);
    QFont font = item->font();
    font.setBold(true);
    item->setFont(font);
    item->setFlags(Qt::ItemIsEnabled);
}

QString ApplicationChooser::chosenId() const
{
    const QListWidgetItem* item = m_list->currentItem();
    return item ? item->data(IdRole).toString() : QString();
}

void ApplicationChooser::updateOpenButton()
{
    m_buttons->button(QDialogButtonBox::Open)
        ->setEnabled(!m_commandLine->text().trimmed().isEmpty() || !chosenId().isEmpty());
}

bool ApplicationChooser::launchChoice() const
{
    const QString commandLine = m_commandLine->text().trimmed();
    if (!commandLine.isEmpty())
        return ShellServices::launchCommandLine(commandLine, m_document);
    const QString id = chosenId();
    return !id.isEmpty() && ShellServices::launchApplication(id, m_document);
}
