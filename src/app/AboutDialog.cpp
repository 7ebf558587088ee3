#include "AboutDialog.h"

#include "Prompter.h"
#include "ShellServices.h"
#include "TextCatalogue.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>

#include <pwd.h>
#include <unistd.h>

namespace {

QLabel* addLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    return label;
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(withoutMnemonic(getText("INFO_CAPTION")));

    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("Picture1"));
    logo->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(48, 48));

    auto* name = addLabel(this, "lblName", registeredOwner());
    auto* organisation = addLabel(this, "lblOrg", registeredOrganization());
    // These two show changing values: their text is their name, the description says what they are.
    name->setAccessibleDescription(getText("DESC_OWNER"));
    organisation->setAccessibleDescription(getText("DESC_ORGANISATION"));

    auto* ok = new QPushButton(getText("INFO_OK"), this);
    ok->setObjectName(QStringLiteral("cmdOk"));
    ok->setDefault(true);
    auto* sysInfo = new QPushButton(getText("INFO_SYSINFO"), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this, &AboutDialog::startSystemInfo);

    auto* layout = new QGridLayout(this);
    layout->addWidget(logo, 0, 0, 4, 1, Qt::AlignTop);
    layout->addWidget(addLabel(this, "lblAppName", getText("INFO_APPNAME")), 0, 1);
    layout->addWidget(addLabel(this, "lblCopyright", getText("INFO_COPYRIGHT")), 1, 1);
    layout->addWidget(addLabel(this, "lblMade", getText("INFO_MADE")), 2, 1);
    layout->addWidget(name, 3, 1);
    layout->addWidget(organisation, 4, 1);
    layout->addWidget(addLabel(this, "lblLegal", getText("INFO_LEGAL")), 5, 0, 1, 2);
    layout->addWidget(ok, 6, 0);
    layout->addWidget(sysInfo, 6, 1, Qt::AlignRight);
}

QString AboutDialog::registeredOwner()
{
    const passwd* entry = getpwuid(getuid());
    if (!entry || !entry->pw_gecos)
        return {};
    // The comment field holds the full name first, then room numbers and phones after commas.
    return QString::fromLocal8Bit(entry->pw_gecos).section(QLatin1Char(','), 0, 0).trimmed();
}

QString AboutDialog::systemInfoTool()
{
    static const char* const tools[] = {"hardinfo2", "hardinfo", "kinfocenter", "gnome-system-monitor",
                                        "xfce4-taskmanager", "mate-system-monitor", "lxtask"};
    for (const char* tool : tools) {
        const QString path = QStandardPaths::findExecutable(QLatin1String(tool));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

void AboutDialog::startSystemInfo()
{
    const QString tool = systemInfoTool();
    if (tool.isEmpty() || !ShellServices::startProgram(tool))
        showMessage(this, QStringLiteral("Systeminformationen sind momentan nicht verfügbar"), PromptIcon::None);
}
