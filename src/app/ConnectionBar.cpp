#include "ConnectionBar.h"

#include "SiteLink.h"
#include "TextCatalogue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace {

const QColor focusColour(255, 255, 192);

void setBackground(QLineEdit* field, const QColor& colour)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, colour);
    field->setPalette(palette);
}

} // namespace

ConnectionBar::ConnectionBar(QWidget* parent)
    : QWidget(parent)
    , m_frame(new QGroupBox(QStringLiteral("Meine Verbindung"), this))
    , m_toolBar(new QToolBar(m_frame))
{
    setObjectName(QStringLiteral("picTop"));
    m_frame->setObjectName(QStringLiteral("fraTop"));
    m_toolBar->setObjectName(QStringLiteral("tlbConnect"));
    m_toolBar->setIconSize(QSize(24, 24));
    // Both buttons always show; the bar never folds them behind an overflow button.
    m_toolBar->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);

    m_connectAction = m_toolBar->addAction(style()->standardIcon(QStyle::SP_DriveNetIcon), QString());
    m_connectAction->setObjectName(QStringLiteral("connect"));
    m_sitesAction = m_toolBar->addAction(
        QIcon::fromTheme(QStringLiteral("network-server"), style()->standardIcon(QStyle::SP_DirLinkIcon)), QString());
    m_sitesAction->setObjectName(QStringLiteral("sites"));
    m_asciiAction = m_toolBar->addAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), QString());
    m_asciiAction->setObjectName(QStringLiteral("ascii"));
    m_stopAction = m_toolBar->addAction(style()->standardIcon(QStyle::SP_BrowserStop), QString());
    m_stopAction->setObjectName(QStringLiteral("stop"));
    m_stopAction->setEnabled(false);

    auto* layout = new QHBoxLayout(m_frame);
    layout->addWidget(m_toolBar);
    m_protocolLabel = new QLabel(QStringLiteral("Protokoll"), m_frame);
    m_protocolLabel->setObjectName(QStringLiteral("lblProtocol"));
    m_protocolBox = new QComboBox(m_frame);
    m_protocolBox->setObjectName(QStringLiteral("cboProtocol"));
    // Entries in the order of Protocol; the texts come with retranslate().
    m_protocolBox->addItems({QStringLiteral("FTP"), QStringLiteral("SFTP (SSH)")});
    m_protocolLabel->setBuddy(m_protocolBox);
    layout->addWidget(m_protocolLabel);
    layout->addWidget(m_protocolBox);
    m_address = addField("txtAddress", "lblAdresse", QStringLiteral("Adresse"));
    m_user = addField("txtUserID", "lblBenutzer", QStringLiteral("Benutzer"));
    m_password = addField("txtPassword", "lblPasswort", QStringLiteral("Passwort"));
    m_password->setEchoMode(QLineEdit::Password);
    m_port = addField("txtPort", "lblPort", QStringLiteral("Port"));
    m_port->setText(QStringLiteral("21"));
    m_port->setMaximumWidth(70);
    // The fields give way when the window is narrow, but never so far that a port or an address
    // no longer shows whole.
    m_port->setMinimumWidth(m_port->fontMetrics().horizontalAdvance(QStringLiteral("655350")));
    m_address->setMinimumWidth(m_address->fontMetrics().horizontalAdvance(QStringLiteral("ftp.example.org")));

    m_modeLabel = new QLabel(QStringLiteral("Modus"), m_frame);
    m_modeLabel->setObjectName(QStringLiteral("lblModus"));
    m_transferMode = new QComboBox(m_frame);
    m_transferMode->setObjectName(QStringLiteral("cboTransferMode"));
    m_modeLabel->setBuddy(m_transferMode);
    layout->addWidget(m_modeLabel);
    layout->addWidget(m_transferMode);

    m_passive = new QCheckBox(QStringLiteral("Passiver Transfer"), m_frame);
    m_passive->setObjectName(QStringLiteral("chkPassiveTransfer"));
    layout->addWidget(m_passive);
    m_encryptionLabel = new QLabel(QStringLiteral("Verschlüsselung"), m_frame);
    m_encryptionLabel->setObjectName(QStringLiteral("lblEncryption"));
    m_encryption = new QComboBox(m_frame);
    m_encryption->setObjectName(QStringLiteral("cboEncryption"));
    m_encryptionLabel->setBuddy(m_encryption);
    layout->addWidget(m_encryptionLabel);
    layout->addWidget(m_encryption);
    layout->addStretch();
    // clicked, not toggled: only the user's click writes a history line.
    connect(m_passive, &QCheckBox::clicked, this, &ConnectionBar::passiveToggledByUser);
    connect(m_password, &QLineEdit::returnPressed, this, &ConnectionBar::connectOnEnterRequested);
    connect(m_protocolBox, &QComboBox::currentIndexChanged, this, &ConnectionBar::protocolChosen);
    connect(m_address, &QLineEdit::editingFinished, this, &ConnectionBar::takeAddressLink);

    setTabOrder(m_protocolBox, m_address);
    setTabOrder(m_address, m_user);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_port);
    setTabOrder(m_port, m_transferMode);
    setTabOrder(m_transferMode, m_passive);
    setTabOrder(m_passive, m_encryption);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->addWidget(m_frame);
}

QLineEdit* ConnectionBar::addField(const char* objectName, const char* labelName, const QString& defaultCaption)
{
    auto* label = new QLabel(defaultCaption, m_frame);
    label->setObjectName(QLatin1String(labelName));
    auto* field = new QLineEdit(m_frame);
    field->setObjectName(QLatin1String(objectName));
    label->setBuddy(field);
    field->installEventFilter(this);
    setBackground(field, Qt::white);
    m_frame->layout()->addWidget(label);
    m_frame->layout()->addWidget(field);
    m_labels.append(label);
    return field;
}

void ConnectionBar::retranslate()
{
    // The menu uses the same caption with its keyboard marker.
    m_frame->setTitle(withoutMnemonic(getText("MY_CONNECTION")));
    const char* keys[] = {"LABEL_ADRESS", "LABEL_USER", "LABEL_PASSWORD", "LABEL_PORT"};
    for (int i = 0; i < m_labels.size(); ++i)
        m_labels[i]->setText(getText(keys[i]));
    m_modeLabel->setText(getText("LABEL_MODUS"));
    m_protocolLabel->setText(getText("LABEL_PROTOCOL"));
    m_protocolBox->setItemText(static_cast<int>(Protocol::Ftp), getText("PROTOCOL_FTP"));
    m_protocolBox->setItemText(static_cast<int>(Protocol::Sftp), getText("PROTOCOL_SFTP"));
    m_protocolBox->setAccessibleName(withoutMnemonic(getText("LABEL_PROTOCOL")));
    m_protocolBox->setAccessibleDescription(getText("DESC_PROTOCOL"));
    m_address->setAccessibleDescription(getText("DESC_ADDRESS"));
    m_user->setAccessibleDescription(getText("DESC_USER"));
    m_password->setAccessibleDescription(getText("DESC_PASSWORD"));
    m_port->setAccessibleDescription(getText("DESC_PORT"));
    m_transferMode->setAccessibleDescription(getText("DESC_TRANSFER_MODE"));
    m_passive->setText(getText("CHK_PASSIVE"));
    m_encryptionLabel->setText(getText("ENCRYPTION_LABEL"));
    // Entries in the order of FtpSettings::Encryption; "if available" is the default.
    const int chosen = m_encryption->count() > 0 ? m_encryption->currentIndex()
                                                 : static_cast<int>(FtpSettings::Encryption::IfAvailable);
    m_encryption->clear();
    m_encryption->addItems({getText("ENCRYPTION_PLAIN"), getText("ENCRYPTION_AUTO"), getText("ENCRYPTION_REQUIRED")});
    m_encryption->setCurrentIndex(chosen);
    m_encryption->setAccessibleDescription(getText("DESC_ENCRYPTION"));
    const QString connectText = withoutMnemonic(getText("BUILD_CONNECTION"));
    m_connectAction->setText(connectText);
    m_connectAction->setToolTip(connectText);
    m_connectAction->setStatusTip(connectText);
    const QString asciiText = withoutMnemonic(getText("ASCII_LIST_SHOW"));
    m_asciiAction->setText(asciiText);
    m_asciiAction->setToolTip(asciiText);
    m_asciiAction->setStatusTip(asciiText);
    const QString stopText = withoutMnemonic(getText("STOP_COMMAND"));
    m_stopAction->setText(stopText);
    m_stopAction->setToolTip(stopText);
    m_stopAction->setStatusTip(stopText);
    const QString sitesText = getText("SITES_TOOLBAR");
    m_sitesAction->setText(sitesText);
    m_sitesAction->setToolTip(sitesText);
    m_sitesAction->setStatusTip(sitesText);
    for (QAction* action : {m_connectAction, m_sitesAction, m_asciiAction, m_stopAction}) {
        if (QWidget* button = m_toolBar->widgetForAction(action))
            button->setAccessibleDescription(action->text());
    }
}

ConnectionSettings ConnectionBar::settings() const
{
    const auto encryption = static_cast<FtpSettings::Encryption>(m_encryption->currentIndex());
    ConnectionSettings settings{.protocol = protocol(),
                                .host = m_address->text(),
                                .port = m_port->text(),
                                .user = m_user->text(),
                                .password = m_password->text(),
                                .ftp = {m_passive->isChecked(), encryption}};
    // A link still in the address field (a command started before the field was left) counts as
    // it will show once it is left.
    QString reason;
    const QString address = m_address->text().trimmed();
    const bool isLink = address.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive)
                        || address.startsWith(QLatin1String("sftp://"), Qt::CaseInsensitive);
    if (const std::optional<SiteLink> link = isLink ? parseSiteLink(address, reason) : std::nullopt) {
        settings.protocol = link->site.protocol;
        settings.host = link->site.host;
        settings.port = QString::number(link->site.port);
        // The user and password a link names; an FTP link without them means anonymous, but
        // fields filled in by hand are kept then.
        if (address.contains(QLatin1Char('@'))) {
            settings.user = link->site.user;
            if (!link->password.isEmpty())
                settings.password = link->password;
        }
    }
    return settings;
}

Protocol ConnectionBar::protocol() const
{
    return static_cast<Protocol>(m_protocolBox->currentIndex());
}

void ConnectionBar::setProtocol(Protocol protocol)
{
    m_protocolBox->setCurrentIndex(static_cast<int>(protocol));
}

void ConnectionBar::protocolChosen()
{
    const Protocol chosen = protocol();
    if (chosen == m_shownProtocol)
        return;
    if (m_port->text().trimmed() == QString::number(defaultPort(m_shownProtocol)))
        m_port->setText(QString::number(defaultPort(chosen)));
    m_shownProtocol = chosen;
    // Transfer type, passive transfers and TLS are FTP's; SFTP sends every file byte for byte.
    const std::initializer_list<QWidget*> ftpOnly{m_modeLabel, m_transferMode, m_passive, m_encryptionLabel, m_encryption};
    for (QWidget* widget : ftpOnly)
        widget->setEnabled(chosen == Protocol::Ftp);
}

void ConnectionBar::takeAddressLink()
{
    const ConnectionSettings taken = settings();
    if (taken.host == m_address->text())
        return;
    setProtocol(taken.protocol);
    m_address->setText(taken.host);
    m_port->setText(taken.port);
    m_user->setText(taken.user);
    m_password->setText(taken.password);
}

void ConnectionBar::setFieldsEnabled(bool enabled, bool withPort)
{
    m_address->setEnabled(enabled);
    m_user->setEnabled(enabled);
    m_password->setEnabled(enabled);
    if (withPort)
        m_port->setEnabled(enabled);
}

bool ConnectionBar::eventFilter(QObject* watched, QEvent* event)
{
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn || (event->type() == QEvent::MouseButtonPress && field == m_address)) {
        setBackground(field, focusColour);
        // A mouse press would undo a selection made now; select once the press is handled.
        QTimer::singleShot(0, field, &QLineEdit::selectAll);
    } else if (event->type() == QEvent::FocusOut) {
        setBackground(field, Qt::white);
    }
    return QWidget::eventFilter(watched, event);
}
