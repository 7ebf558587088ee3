#pragma once

#include <QDialog>

class QLabel;

// The About dialog: the program's texts, the owner of this account and the system information tool.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // The full name of the user from the password database; empty when none is recorded.
    static QString registeredOwner();
    // Linux records no organisation.
    static QString registeredOrganization() { return {}; }
    // The first system information tool found on PATH, or an empty text.
    static QString systemInfoTool();

    // Starts the tool, or says that none is available.
    void startSystemInfo();
};
