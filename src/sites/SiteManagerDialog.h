#pragma once

#include "Site.h"

#include <QDialog>
#include <QHash>
#include <QSet>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;
class SiteBook;

// The site manager: a tree of folders and sites with the fields of the chosen site. It edits a
// copy; OK and Connect write the sites file and hand the passwords to the keyring, Cancel drops
// every change.
class SiteManagerDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SiteManagerDialog(SiteBook& book, QWidget* parent = nullptr);

    // Adds a site with these values (a new id) to the chosen folder and selects it.
    void addSite(Site site);
    // Brings in another client's site list and tells what came in and what not.
    void importFile(const QString& path);
    // The sites as they stand in the dialog.
    SiteFolder sites() const;

    QTreeWidget* tree() const { return m_tree; }

Q_SIGNALS:
    // Connect was chosen: the sites are saved, the dialog closes.
    void connectRequested(const Site& site);

private:
    enum ItemType { FolderItem = 1001, SiteItem = 1002 };

    void createWidgets();
    void retranslate();
    QTreeWidgetItem* addFolderItem(QTreeWidgetItem* parent, const SiteFolder& folder);
    QTreeWidgetItem* addSiteItem(QTreeWidgetItem* parent, const Site& site);
    // The folder a new entry goes into: the chosen folder, or the chosen site's; nullptr: the top.
    QTreeWidgetItem* targetFolder() const;
    QString freeName(QTreeWidgetItem* folder, const QString& wanted) const;
    void select(QTreeWidgetItem* item);

    void newSite();
    void newFolder();
    void rename();
    void removeChosen();
    void duplicate();
    void chooseImport();
    void connectChosen();
    // Writes sites and passwords; false when the file could not be written.
    bool save();

    // The form shows item's site; storeForm writes the form back into the item it shows.
    void showItem(QTreeWidgetItem* item);
    void storeForm();
    void protocolChosen(int index);
    void updateFieldStates();

    SiteBook& m_book;
    QTreeWidgetItem* m_shown = nullptr;
    Protocol m_shownProtocol = Protocol::Ftp;
    QSet<QString> m_keptBefore;             // ids whose password the keyring held when the dialog opened
    QHash<QString, QString> m_typed;        // site id to the password typed or imported here
    QHash<QString, QString> m_copiedFrom;   // id of a copy to the id of its original

    QTreeWidget* m_tree;
    QWidget* m_form;
    QComboBox* m_protocol;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QComboBox* m_logon;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_savePassword;
    QComboBox* m_encryption;
    QCheckBox* m_passive;
    QComboBox* m_mode;
    QLineEdit* m_localFolder;
    QPushButton* m_browseLocal;
    QLineEdit* m_remoteFolder;
    QSpinBox* m_maxTransfers;
    QPlainTextEdit* m_comment;
    QPushButton* m_rename;
    QPushButton* m_delete;
    QPushButton* m_duplicate;
    QPushButton* m_connect;
};
