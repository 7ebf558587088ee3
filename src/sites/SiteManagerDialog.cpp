#include "SiteManagerDialog.h"

#include "SiteBook.h"
#include "SiteImport.h"
#include "Prompter.h"
#include "TextCatalogue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

Site siteOf(const QTreeWidgetItem* item)
{
    return item->data(0, Qt::UserRole).value<Site>();
}

// A control's caption, accessible name and description from its keys.
void describe(QWidget* widget, QLabel* label, const char* captionKey, const char* descriptionKey)
{
    if (label) {
        label->setText(getText(captionKey));
        label->setBuddy(widget);
    }
    widget->setAccessibleName(withoutMnemonic(getText(captionKey)).remove(QLatin1Char(':')).trimmed());
    widget->setAccessibleDescription(getText(descriptionKey));
}

void fillCombo(QComboBox* box, std::initializer_list<const char*> keys)
{
    const int chosen = box->currentIndex();
    box->clear();
    for (const char* key : keys)
        box->addItem(withoutMnemonic(getText(key)));
    box->setCurrentIndex(std::max(chosen, 0));
}

template <typename T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

SiteManagerDialog::SiteManagerDialog(SiteBook& book, QWidget* parent)
    : QDialog(parent)
    , m_book(book)
{
    setObjectName(QStringLiteral("frmSites"));
    createWidgets();
    retranslate();
    const SiteFolder& root = book.data().root;
    for (const SiteFolder& folder : root.folders)
        addFolderItem(nullptr, folder);
    for (const Site& site : root.sites)
        addSiteItem(nullptr, site);
    for (const Site& site : root.allSites()) {
        if (site.logon == LogonType::Normal && site.savePassword)
            m_keptBefore.insert(site.id);
    }
    m_tree->expandAll();
    select(m_tree->topLevelItem(0));
    showItem(m_tree->currentItem());
}

void SiteManagerDialog::createWidgets()
{
    m_tree = named(new QTreeWidget(this), "trwSites");
    m_tree->setHeaderHidden(true);
    m_form = named(new QWidget(this), "fraSite");
    m_protocol = named(new QComboBox(m_form), "cboProtocol");
    m_host = named(new QLineEdit(m_form), "txtHost");
    m_port = named(new QSpinBox(m_form), "spnPort");
    m_port->setRange(1, 65535);
    m_logon = named(new QComboBox(m_form), "cboLogon");
    m_user = named(new QLineEdit(m_form), "txtUser");
    m_password = named(new QLineEdit(m_form), "txtPassword");
    m_password->setEchoMode(QLineEdit::Password);
    m_savePassword = named(new QCheckBox(m_form), "chkSavePassword");
    m_encryption = named(new QComboBox(m_form), "cboEncryption");
    m_passive = named(new QCheckBox(m_form), "chkPassive");
    m_mode = named(new QComboBox(m_form), "cboTransferMode");
    m_localFolder = named(new QLineEdit(m_form), "txtLocalFolder");
    m_browseLocal = named(new QPushButton(QStringLiteral("..."), m_form), "cmdBrowseLocal");
    m_remoteFolder = named(new QLineEdit(m_form), "txtRemoteFolder");
    m_maxTransfers = named(new QSpinBox(m_form), "spnMaxTransfers");
    m_maxTransfers->setRange(1, 10);
    m_comment = named(new QPlainTextEdit(m_form), "txtComment");
    m_comment->setTabChangesFocus(true);

    auto* form = new QFormLayout(m_form);
    const QList<QWidget*> fields{m_protocol, m_host, m_port, m_logon, m_user, m_password, m_savePassword,
                                 m_encryption, m_passive, m_mode, nullptr, m_remoteFolder, m_maxTransfers, m_comment};
    for (QWidget* field : fields) {
        if (field == nullptr) {
            auto* local = new QHBoxLayout;
            local->addWidget(m_localFolder, 1);
            local->addWidget(m_browseLocal);
            form->addRow(named(new QLabel(m_form), "lblLocalFolder"), local);
        } else if (qobject_cast<QCheckBox*>(field)) {
            form->addRow(QString(), field);
        } else {
            const QString labelName = QStringLiteral("lbl") + field->objectName().mid(3);
            auto* label = new QLabel(m_form);
            label->setObjectName(labelName);
            form->addRow(label, field);
        }
    }

    auto* buttons = new QGridLayout;
    auto button = [this, buttons](const char* name, int row, int column, void (SiteManagerDialog::*slot)()) {
        auto* b = named(new QPushButton(this), name);
        b->setAutoDefault(false);
        buttons->addWidget(b, row, column);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    button("cmdNewSite", 0, 0, &SiteManagerDialog::newSite);
    button("cmdNewFolder", 0, 1, &SiteManagerDialog::newFolder);
    m_rename = button("cmdRename", 1, 0, &SiteManagerDialog::rename);
    m_delete = button("cmdDelete", 1, 1, &SiteManagerDialog::removeChosen);
    m_duplicate = button("cmdDuplicate", 2, 0, &SiteManagerDialog::duplicate);

    auto* left = new QVBoxLayout;
    left->addWidget(m_tree, 1);
    left->addLayout(buttons);
    auto* top = new QHBoxLayout;
    top->addLayout(left, 2);
    top->addWidget(m_form, 3);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    m_connect = named(new QPushButton(this), "cmdConnect");
    auto* ok = named(new QPushButton(this), "cmdOK");
    auto* cancel = named(new QPushButton(this), "cmdCancel");
    ok->setDefault(true);
    for (QPushButton* b : {m_connect, ok, cancel})
        bottom->addWidget(b);
    connect(m_connect, &QPushButton::clicked, this, &SiteManagerDialog::connectChosen);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (save())
            accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* menuBar = named(new QMenuBar(this), "mnuSites");
    QMenu* file = named(menuBar->addMenu(QString()), "mnuSitesFile");
    QAction* import = file->addAction(QString(), this, &SiteManagerDialog::chooseImport);
    import->setObjectName(QStringLiteral("mnuSitesImport"));

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    resize(760, 520);

    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        storeForm();
        showItem(current);
    });
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item->type() == SiteItem)
            connectChosen();
    });
    connect(m_protocol, &QComboBox::activated, this, &SiteManagerDialog::protocolChosen);
    connect(m_logon, &QComboBox::currentIndexChanged, this, &SiteManagerDialog::updateFieldStates);
    connect(m_browseLocal, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, withoutMnemonic(getText("SITES_LOCAL")),
                                                                 m_localFolder->text());
        if (!folder.isEmpty())
            m_localFolder->setText(folder);
    });
}

void SiteManagerDialog::retranslate()
{
    setWindowTitle(getText("SITES_CAPTION"));
    describe(m_tree, nullptr, "SITES_TREE", "DESC_SITES_TREE");
    const auto label = [this](QWidget* field) {
        return findChild<QLabel*>(QStringLiteral("lbl") + field->objectName().mid(3));
    };
    describe(m_protocol, label(m_protocol), "SITES_PROTOCOL", "DESC_SITES_PROTOCOL");
    fillCombo(m_protocol, {"SITES_FTP", "SITES_SFTP"});
    describe(m_host, label(m_host), "SITES_HOST", "DESC_SITES_HOST");
    describe(m_port, label(m_port), "SITES_PORT", "DESC_SITES_PORT");
    describe(m_logon, label(m_logon), "SITES_LOGON", "DESC_SITES_LOGON");
    fillCombo(m_logon, {"SITES_LOGON_NORMAL", "SITES_LOGON_ASK", "SITES_LOGON_ANONYMOUS"});
    describe(m_user, label(m_user), "SITES_USER", "DESC_SITES_USER");
    describe(m_password, label(m_password), "SITES_PASSWORD", "DESC_SITES_PASSWORD");
    m_savePassword->setText(getText("SITES_SAVEPASSWORD"));
    describe(m_savePassword, nullptr, "SITES_SAVEPASSWORD", "DESC_SITES_SAVEPASSWORD");
    describe(m_encryption, label(m_encryption), "SITES_ENCRYPTION", "DESC_ENCRYPTION");
    fillCombo(m_encryption, {"ENCRYPTION_PLAIN", "ENCRYPTION_AUTO", "ENCRYPTION_REQUIRED"});
    m_passive->setText(getText("SITES_PASSIVE"));
    describe(m_passive, nullptr, "SITES_PASSIVE", "DESC_SITES_PASSIVE");
    describe(m_mode, label(m_mode), "SITES_MODE", "DESC_TRANSFER_MODE");
    fillCombo(m_mode, {"OPT_ASCII", "OPT_BINARY", "OPT_AUTO"});
    describe(m_localFolder, findChild<QLabel*>(QStringLiteral("lblLocalFolder")), "SITES_LOCAL", "DESC_SITES_LOCAL");
    describe(m_browseLocal, nullptr, "SITES_BROWSE", "DESC_SITES_BROWSE");
    m_browseLocal->setToolTip(getText("SITES_BROWSE"));
    describe(m_remoteFolder, label(m_remoteFolder), "SITES_REMOTE", "DESC_SITES_REMOTE");
    describe(m_maxTransfers, label(m_maxTransfers), "SITES_MAXTRANSFERS", "DESC_SITES_MAXTRANSFERS");
    describe(m_comment, label(m_comment), "SITES_COMMENT", "DESC_SITES_COMMENT");
    const std::pair<const char*, const char*> buttons[] = {
        {"cmdNewSite", "SITES_NEWSITE"}, {"cmdNewFolder", "SITES_NEWFOLDER"}, {"cmdRename", "SITES_RENAME"},
        {"cmdDelete", "SITES_DELETE"},   {"cmdDuplicate", "SITES_DUPLICATE"}, {"cmdConnect", "SITES_CONNECT"},
        {"cmdOK", "SITES_OK"},           {"cmdCancel", "SITES_CANCEL"}};
    for (const auto& [name, key] : buttons)
        findChild<QPushButton*>(QLatin1String(name))->setText(getText(key));
    findChild<QMenu*>(QStringLiteral("mnuSitesFile"))->setTitle(getText("Datei"));
    findChild<QAction*>(QStringLiteral("mnuSitesImport"))->setText(getText("SITES_IMPORT"));
}

QTreeWidgetItem* SiteManagerDialog::addFolderItem(QTreeWidgetItem* parent, const SiteFolder& folder)
{
    auto* item = parent ? new QTreeWidgetItem(parent, FolderItem) : new QTreeWidgetItem(m_tree, FolderItem);
    item->setText(0, folder.name);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    for (const SiteFolder& inner : folder.folders)
        addFolderItem(item, inner);
    for (const Site& site : folder.sites)
        addSiteItem(item, site);
    return item;
}

QTreeWidgetItem* SiteManagerDialog::addSiteItem(QTreeWidgetItem* parent, const Site& site)
{
    auto* item = parent ? new QTreeWidgetItem(parent, SiteItem) : new QTreeWidgetItem(m_tree, SiteItem);
    item->setText(0, site.name);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
    item->setData(0, Qt::UserRole, QVariant::fromValue(site));
    return item;
}

SiteFolder SiteManagerDialog::sites() const
{
    const std::function<void(const QTreeWidgetItem*, SiteFolder&)> collect = [&](const QTreeWidgetItem* item,
                                                                               SiteFolder& into) {
        if (item->type() == SiteItem) {
            into.sites.append(siteOf(item));
            return;
        }
        SiteFolder folder;
        folder.name = item->text(0);
        for (int i = 0; i < item->childCount(); ++i)
            collect(item->child(i), folder);
        into.folders.append(folder);
    };
    SiteFolder root;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        collect(m_tree->topLevelItem(i), root);
    return root;
}

QTreeWidgetItem* SiteManagerDialog::targetFolder() const
{
    QTreeWidgetItem* item = m_tree->currentItem();
    return item && item->type() == SiteItem ? item->parent() : item;
}

QString SiteManagerDialog::freeName(QTreeWidgetItem* folder, const QString& wanted) const
{
    QStringList taken;
    const int count = folder ? folder->childCount() : m_tree->topLevelItemCount();
    for (int i = 0; i < count; ++i)
        taken.append((folder ? folder->child(i) : m_tree->topLevelItem(i))->text(0));
    QString name = wanted;
    for (int n = 2; taken.contains(name); ++n)
        name = wanted + QLatin1Char(' ') + QString::number(n);
    return name;
}

void SiteManagerDialog::select(QTreeWidgetItem* item)
{
    if (item)
        m_tree->setCurrentItem(item);
}

void SiteManagerDialog::addSite(Site site)
{
    QTreeWidgetItem* folder = targetFolder();
    site.id = Site::newId();
    site.name = freeName(folder, site.name.isEmpty() ? getText("SITES_NEWSITE_NAME") : site.name);
    select(addSiteItem(folder, site));
    m_host->setFocus();
}

void SiteManagerDialog::newSite()
{
    addSite({});
}

void SiteManagerDialog::newFolder()
{
    QTreeWidgetItem* parent = targetFolder();
    SiteFolder folder;
    folder.name = freeName(parent, getText("SITES_NEWFOLDER_NAME"));
    select(addFolderItem(parent, folder));
}

void SiteManagerDialog::rename()
{
    QTreeWidgetItem* item = m_tree->currentItem();
    if (!item)
        return;
    const InputAnswer answer = askText(this, getText("SITES_NEWNAME"), item->text(0));
    const QString name = answer.text.trimmed();
    if (!answer.accepted || name.isEmpty())
        return;
    storeForm();
    item->setText(0, name);
    if (item->type() == SiteItem) {
        Site site = siteOf(item);
        site.name = name;
        item->setData(0, Qt::UserRole, QVariant::fromValue(site));
    }
}

void SiteManagerDialog::removeChosen()
{
    QTreeWidgetItem* item = m_tree->currentItem();
    if (!item)
        return;
    const char* key = item->type() == SiteItem ? "SITES_DELETESITE" : "SITES_DELETEFOLDER";
    if (showMessage(this, getText(key).arg(item->text(0)), PromptIcon::Question, PromptButtons::YesNo)
        != PromptAnswer::Yes)
        return;
    // The form must not write into the item that goes.
    m_shown = nullptr;
    delete item;
    showItem(m_tree->currentItem());
}

void SiteManagerDialog::duplicate()
{
    QTreeWidgetItem* item = m_tree->currentItem();
    if (!item || item->type() != SiteItem)
        return;
    storeForm();
    Site copy = siteOf(item);
    const QString original = copy.id;
    copy.name = getText("SITES_COPYNAME").arg(copy.name);
    addSite(copy);
    const QString id = siteOf(m_tree->currentItem()).id;
    m_copiedFrom.insert(id, m_copiedFrom.value(original, original));
    if (m_typed.contains(original))
        m_typed.insert(id, m_typed.value(original));
}

void SiteManagerDialog::chooseImport()
{
    QString folder = QDir::homePath() + QStringLiteral("/.config/filezilla");
    if (!QDir(folder).exists())
        folder = QDir::homePath();
    const QString path = QFileDialog::getOpenFileName(this, withoutMnemonic(getText("SITES_IMPORT")), folder,
                                                      QStringLiteral("sitemanager.xml (*.xml)"));
    if (!path.isEmpty())
        importFile(path);
}

void SiteManagerDialog::importFile(const QString& path)
{
    QFile file(path);
    SiteImport result;
    if (file.open(QIODevice::ReadOnly))
        result = importSiteManagerXml(file);
    if (!result.readable) {
        showMessage(this, getText("SITES_IMPORT_UNREADABLE").arg(path), PromptIcon::Exclamation);
        return;
    }
    storeForm();
    QTreeWidgetItem* target = targetFolder();
    for (const SiteFolder& folder : std::as_const(result.root.folders))
        addFolderItem(target, folder);
    for (const Site& site : std::as_const(result.root.sites))
        addSiteItem(target, site);
    m_typed.insert(result.passwords);
    m_tree->expandAll();
    QString summary = getText("SITES_IMPORT_DONE").arg(result.imported);
    if (!result.skipped.isEmpty())
        summary += QLatin1Char('\n') + getText("SITES_IMPORT_SKIPPED") + QLatin1Char('\n')
                   + result.skipped.join(QLatin1Char('\n'));
    showMessage(this, summary, PromptIcon::Information);
}

void SiteManagerDialog::connectChosen()
{
    QTreeWidgetItem* item = m_tree->currentItem();
    if (!item || item->type() != SiteItem || !save())
        return;
    const Site site = siteOf(item);
    accept();
    Q_EMIT connectRequested(site);
}

bool SiteManagerDialog::save()
{
    storeForm();
    const SiteFolder root = sites();
    if (!m_book.setSites(root))
        return false;
    Keyring& keyring = m_book.keyring();
    QSet<QString> kept;
    for (const Site& site : root.allSites()) {
        const bool keeps = site.logon == LogonType::Normal && site.savePassword;
        const auto typed = m_typed.constFind(site.id);
        if (keeps)
            kept.insert(site.id);
        if (typed != m_typed.cend() && keeps)
            keyring.store(site.id, *typed);
        else if (typed != m_typed.cend() && site.logon == LogonType::Normal)
            keyring.keepForSession(site.id, *typed);
        else if (keeps && m_copiedFrom.contains(site.id))
            keyring.copy(m_copiedFrom.value(site.id), site.id);
        else if (keeps && !m_keptBefore.contains(site.id) && keyring.sessionPassword(site.id))
            keyring.store(site.id, *keyring.sessionPassword(site.id)); // typed at a connect this run
    }
    // Passwords of sites that are gone or no longer keep one leave the keyring.
    for (const QString& id : std::as_const(m_keptBefore)) {
        if (!kept.contains(id))
            keyring.remove(id);
    }
    m_keptBefore = kept;
    m_typed.clear();
    m_copiedFrom.clear();
    return true;
}

void SiteManagerDialog::showItem(QTreeWidgetItem* item)
{
    const bool isSite = item && item->type() == SiteItem;
    m_shown = isSite ? item : nullptr;
    m_form->setEnabled(isSite);
    m_connect->setEnabled(isSite);
    m_duplicate->setEnabled(isSite);
    m_rename->setEnabled(item != nullptr);
    m_delete->setEnabled(item != nullptr);
    const Site site = isSite ? siteOf(item) : Site{};
    m_shownProtocol = site.protocol;
    m_protocol->setCurrentIndex(static_cast<int>(site.protocol));
    m_host->setText(site.host);
    m_port->setValue(site.port);
    m_logon->setCurrentIndex(static_cast<int>(site.logon));
    m_user->setText(site.user);
    m_password->setText(m_typed.value(site.id));
    // A kept password is never read just to be shown.
    m_password->setPlaceholderText(site.savePassword ? getText("SITES_PASSWORD_KEPT") : QString());
    m_savePassword->setChecked(site.savePassword);
    m_encryption->setCurrentIndex(static_cast<int>(site.encryption));
    m_passive->setChecked(site.passive);
    m_mode->setCurrentIndex(static_cast<int>(site.transferMode));
    m_localFolder->setText(site.localFolder);
    m_remoteFolder->setText(site.remoteFolder);
    m_maxTransfers->setValue(site.maxTransfers);
    m_comment->setPlainText(site.comment);
    updateFieldStates();
}

void SiteManagerDialog::storeForm()
{
    if (!m_shown)
        return;
    Site site = siteOf(m_shown);
    site.protocol = static_cast<Protocol>(m_protocol->currentIndex());
    site.host = m_host->text().trimmed();
    site.port = static_cast<quint16>(m_port->value());
    site.logon = static_cast<LogonType>(m_logon->currentIndex());
    site.user = m_user->text();
    site.savePassword = m_savePassword->isChecked();
    site.encryption = static_cast<SiteEncryption>(m_encryption->currentIndex());
    site.passive = m_passive->isChecked();
    site.transferMode = static_cast<SiteTransferMode>(m_mode->currentIndex());
    site.localFolder = m_localFolder->text();
    site.remoteFolder = m_remoteFolder->text().trimmed();
    site.maxTransfers = m_maxTransfers->value();
    site.comment = m_comment->toPlainText();
    m_shown->setData(0, Qt::UserRole, QVariant::fromValue(site));
    if (!m_password->text().isEmpty())
        m_typed.insert(site.id, m_password->text());
}

void SiteManagerDialog::protocolChosen(int index)
{
    const auto chosen = static_cast<Protocol>(index);
    // A port left at the old protocol's default follows the protocol.
    if (m_port->value() == defaultPort(m_shownProtocol))
        m_port->setValue(defaultPort(chosen));
    m_shownProtocol = chosen;
    updateFieldStates();
}

void SiteManagerDialog::updateFieldStates()
{
    const bool ftp = m_protocol->currentIndex() == static_cast<int>(Protocol::Ftp);
    const auto logon = static_cast<LogonType>(m_logon->currentIndex());
    for (QWidget* field : {static_cast<QWidget*>(m_encryption), static_cast<QWidget*>(m_passive),
                           static_cast<QWidget*>(m_mode)})
        field->setEnabled(ftp);
    m_user->setEnabled(logon != LogonType::Anonymous);
    m_password->setEnabled(logon == LogonType::Normal);
    m_savePassword->setEnabled(logon == LogonType::Normal);
}
