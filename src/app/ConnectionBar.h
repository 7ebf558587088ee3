#pragma once

#include "ConnectionSettings.h"
#include "Protocol.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolBar;

// The strip at the top of the main window: address, user, password, port, transfer type, passive
// switch and the connect/ASCII-list toolbar.
class ConnectionBar : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionBar(QWidget* parent = nullptr);

    void retranslate();

    // The values as typed, read when a command starts.
    ConnectionSettings settings() const;

    // The protocol chosen in the bar's box, by the user, a site or a link. Choosing one changes
    // the port when it holds the other protocol's default; FTP's own options are disabled while
    // SFTP is chosen.
    Protocol protocol() const;
    void setProtocol(Protocol protocol);

    // Enables or disables the address, user and password fields, and the port field when withPort.
    void setFieldsEnabled(bool enabled, bool withPort = true);

    QLineEdit* address() const { return m_address; }
    QLineEdit* user() const { return m_user; }
    QLineEdit* password() const { return m_password; }
    QLineEdit* port() const { return m_port; }
    QComboBox* protocolBox() const { return m_protocolBox; }
    QComboBox* transferMode() const { return m_transferMode; }
    QCheckBox* passive() const { return m_passive; }
    QComboBox* encryption() const { return m_encryption; }
    QAction* connectAction() const { return m_connectAction; }
    QAction* asciiAction() const { return m_asciiAction; }
    QAction* sitesAction() const { return m_sitesAction; }
    QAction* stopAction() const { return m_stopAction; }
    QToolBar* toolBar() const { return m_toolBar; }

Q_SIGNALS:
    // Enter in the password field.
    void connectOnEnterRequested();
    // The user clicked the passive check box; the state is the new one.
    void passiveToggledByUser(bool passive);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* addField(const char* objectName, const char* labelName, const QString& defaultCaption);
    void protocolChosen();
    // An address typed as an ftp:// or sftp:// link: its protocol, host and port, and the user and
    // password it names, in the fields.
    void takeAddressLink();

    QGroupBox* m_frame;
    QToolBar* m_toolBar;
    QAction* m_connectAction;
    QAction* m_asciiAction;
    QAction* m_stopAction;
    QAction* m_sitesAction;
    QLabel* m_protocolLabel;
    QComboBox* m_protocolBox;
    Protocol m_shownProtocol = Protocol::Ftp; // what the port and the FTP options were last set for
    QLineEdit* m_address;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLineEdit* m_port;
    QComboBox* m_transferMode;
    QCheckBox* m_passive;
    QLabel* m_encryptionLabel;
    QComboBox* m_encryption;
    QList<QLabel*> m_labels;
    QLabel* m_modeLabel;
};
