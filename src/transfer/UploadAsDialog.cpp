#include "UploadAsDialog.h"

#include "EntryPresentation.h"
#include "EntryTypeResolver.h"
#include "MimeTypeInfoProvider.h"
#include "TextCatalogue.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int largePicture = 32;

QLabel* addCaption(QWidget* parent, const char* name, const char* key)
{
    auto* label = new QLabel(getText(key), parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

UploadAsDialog::UploadAsDialog(const FileEntry& entry, TypeInfoProvider* provider, QWidget* parent)
    : QDialog(parent)
    , m_entry(entry)
{
    if (!provider) {
        m_ownedProvider = std::make_unique<MimeTypeInfoProvider>();
        provider = m_ownedProvider.get();
    }
    setObjectName(QStringLiteral("frmUploadAls"));
    setWindowTitle(withoutMnemonic(getText("FRMUPAS_CAPTION")));

    const RowStyle style{ListSide::Local, AttributeOrder::Local, {}};
    EntryTypeResolver types(*provider, FallbackRule::Local);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgSystemLogo"));
    picture->setPixmap(provider->fileIcon(entry.name).pixmap(largePicture, largePicture));

    m_newName = new QLineEdit(entry.name, this);
    m_newName->setObjectName(QStringLiteral("txtNeuerName"));
    m_newName->selectAll(); // typing replaces the proposed name

    auto* upload = new QPushButton(getText("FRMUPAS_UPLOAD"), this);
    upload->setObjectName(QStringLiteral("cmdUpload"));
    upload->setDefault(true);
    auto* cancel = new QPushButton(getText("FRMUPAS_CANCEL"), this);
    cancel->setObjectName(QStringLiteral("cmdAbbrechen"));
    connect(upload, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    const struct {
        const char* captionName;
        const char* key;
        const char* valueName;
        QString value;
    } rows[] = {
        {"lblTyp", "FRMUPAS_TYP", "lblFileType", types.resolve(entry.name).typeName},
        {"lblSize", "FRMUPAS_SIZE", "lblGroesse", columnText(entry, EntryColumn::Size, style)},
        {"lblChanged", "FRMUPAS_CHANGED", "lblGeaendert", columnText(entry, EntryColumn::Changed, style)},
        {"lblAlterName", "FRMUPAS_OLDNAME", "lblName", entry.name},
    };
    auto* layout = new QGridLayout(this);
    layout->addWidget(picture, 0, 0, 4, 1, Qt::AlignTop);
    int line = 0;
    for (const auto& row : rows) {
        QLabel* caption = addCaption(this, row.captionName, row.key);
        QLabel* value = addValue(row.valueName, row.value);
        value->setAccessibleName(withoutMnemonic(caption->text()));
        layout->addWidget(caption, line, 1);
        layout->addWidget(value, line, 2);
        ++line;
    }
    QLabel* newNameCaption = addCaption(this, "lblNeuerName", "FRMUPAS_NEWNAME");
    newNameCaption->setBuddy(m_newName);
    layout->addWidget(newNameCaption, line, 1);
    layout->addWidget(m_newName, line, 2);
    ++line;
    layout->addWidget(addCaption(this, "lblAction", "FRMUPAS_ACTION"), line, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(upload);
    buttons->addWidget(cancel);
    layout->addLayout(buttons, line, 2);
    m_newName->setFocus();
}

UploadAsDialog::~UploadAsDialog() = default;

QString UploadAsDialog::newName() const
{
    return m_newName->text().trimmed();
}

QLabel* UploadAsDialog::addValue(const char* name, const QString& text)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}
