#include "DownloadAsDialog.h"

#include "DownloadPaths.h"
#include "EntryPresentation.h"
#include "Prompter.h"
#include "TextCatalogue.h"
#include "TypeInfoProvider.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int pictureSize = 32; // the large picture of a file type

QLabel* addLabel(QWidget* parent, const char* name, const QString& text = {})
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

DownloadAsDialog::DownloadAsDialog(const RemoteFile& file, TypeInfoProvider& provider, QWidget* parent)
    : QDialog(parent)
    , m_remoteName(file.name)
{
    setObjectName(QStringLiteral("frmDownloadAls"));
    setWindowTitle(withoutMnemonic(getText("FRMDOWNLOADALS_MECAPTION")).trimmed());

    // The type is named by the file's name alone; no file needs to exist for it.
    QString typeName = provider.typeName(file.name);
    if (typeName.isEmpty())
        typeName = remoteFallbackTypeName(iconKeyOf(file.name), fallbackSuffix());
    auto* picture = addLabel(this, "imgSystemLogo");
    picture->setPixmap(provider.fileIcon(file.name).pixmap(pictureSize, pictureSize));
    picture->setAccessibleName(typeName);
    m_type = addLabel(this, "lblFileType", typeName);
    auto* size = addLabel(this, "lblGroesse", file.sizeText);
    auto* changed = addLabel(this, "lblGeaendert", file.dateText);
    auto* name = addLabel(this, "lblName", file.name);
    for (QLabel* value : {m_type, size, changed, name})
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_newName = new QLineEdit(file.name, this);
    m_newName->setObjectName(QStringLiteral("txtNeuerName"));
    m_newName->selectAll();
    auto* newNameLabel = addLabel(this, "lblNewName", getText("FRMDOWNLOADALS_NEWNAME"));
    newNameLabel->setBuddy(m_newName);
    m_newName->setAccessibleName(withoutMnemonic(newNameLabel->text()));

    m_download = new QPushButton(getText("FRMDOWNLOADALS_DOWNLOAD"), this);
    m_download->setObjectName(QStringLiteral("cmdDownload"));
    m_download->setDefault(true);
    auto* cancel = new QPushButton(getText("FRMDOWNLOADALS_ABBRECHEN"), this);
    cancel->setObjectName(QStringLiteral("cmdAbbrechen"));
    connect(m_download, &QPushButton::clicked, this, &DownloadAsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(picture, 0, 0, 4, 1, Qt::AlignTop);
    const std::pair<const char*, const char*> captions[] = {{"lblTyp", "FRMDOWNLOADALS_TYP"},
                                                            {"lblSize", "FRMDOWNLOADALS_SIZE"},
                                                            {"lblChanged", "FRMDOWNLOADALS_CHANGED"},
                                                            {"lblOldName", "FRMDOWNLOADALS_OLDNAME"}};
    QLabel* values[] = {m_type, size, changed, name};
    for (int row = 0; row < 4; ++row) {
        QLabel* caption = addLabel(this, captions[row].first, getText(captions[row].second));
        caption->setBuddy(values[row]);
        values[row]->setAccessibleName(withoutMnemonic(caption->text()));
        layout->addWidget(caption, row, 1);
        layout->addWidget(values[row], row, 2);
    }
    layout->addWidget(newNameLabel, 4, 1);
    layout->addWidget(m_newName, 4, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addLabel(this, "lblAction", getText("FRMDOWNLOADALS_ACTION")));
    buttons->addStretch(1);
    buttons->addWidget(m_download);
    buttons->addWidget(cancel);
    layout->addLayout(buttons, 5, 0, 1, 3);
    layout->setColumnStretch(2, 1);
}

QString DownloadAsDialog::newName() const
{
    return m_newName->text().trimmed();
}

void DownloadAsDialog::accept()
{
    const QString name = newName();
    if (!name.isEmpty() && !DownloadPaths::isUsableLocalName(name)) {
        showMessage(this, getText("FRMDOWNLOADALS_BADNAME"), PromptIcon::Exclamation);
        m_newName->setFocus();
        return;
    }
    QDialog::accept();
}
