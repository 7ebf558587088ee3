#include "PropertiesDialog.h"

#include "LocalFileOperations.h"
#include "TextCatalogue.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

QString timeText(const timespec& time)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(time.tv_sec) * 1000 + time.tv_nsec / 1000000);
    return QLocale::system().toString(local, QLocale::LongFormat);
}

QString sizeText(qint64 bytes)
{
    const QLocale locale = QLocale::system();
    return locale.formattedDataSize(bytes) + QStringLiteral(" (") + locale.toString(bytes) + QLatin1Char(')');
}

// The name of the user or group id, or the number when the system knows no name for it.
QString ownerName(uid_t id)
{
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(id);
}

QString groupName(gid_t id)
{
    std::vector<char> buffer(16384);
    group entry {};
    group* found = nullptr;
    if (::getgrgid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(id);
}

QString typeText(const QString& path, const struct stat& status)
{
    if (S_ISDIR(status.st_mode))
        return withoutMnemonic(getText("FOLDER"));
    const QMimeDatabase database;
    if (S_ISLNK(status.st_mode))
        return database.mimeTypeForName(QStringLiteral("inode/symlink")).comment();
    return database.mimeTypeForFile(path).comment();
}

} // namespace

PropertiesDialog::PropertiesDialog(const QString& path, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmProperties"));
    const QFileInfo info(path);
    setWindowTitle(info.fileName() + QStringLiteral(" - ") + withoutMnemonic(getText("FRMPULOC_PROP")));

    m_form = new QFormLayout;
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setText(getText("PROPERTIES_CLOSE"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    struct stat status {};
    const bool found = ::lstat(QFile::encodeName(path).constData(), &status) == 0;
    addField(Field::Name, "PROPERTIES_NAME", info.fileName());
    addField(Field::Type, "PROPERTIES_TYPE", found ? typeText(path, status) : QString());
    addField(Field::Location, "PROPERTIES_LOCATION", info.absolutePath());
    if (!found)
        return;
    const bool isFolder = S_ISDIR(status.st_mode);
    addField(Field::Size, "PROPERTIES_SIZE", isFolder ? getText("PROPERTIES_COUNTING") : sizeText(status.st_size));
    if (isFolder)
        addField(Field::Contents, "PROPERTIES_CONTENTS", getText("PROPERTIES_COUNTING"));
    addField(Field::Modified, "PROPERTIES_MODIFIED", timeText(status.st_mtim));
    addField(Field::Accessed, "PROPERTIES_ACCESSED", timeText(status.st_atim));
    addField(Field::Permissions, "PROPERTIES_PERMISSIONS",
             permissionText(status.st_mode) + QStringLiteral(" (") + octalText(status.st_mode) + QLatin1Char(')'));
    addField(Field::Owner, "PROPERTIES_OWNER", ownerName(status.st_uid));
    addField(Field::Group, "PROPERTIES_GROUP", groupName(status.st_gid));
    if (S_ISLNK(status.st_mode))
        addField(Field::Target, "PROPERTIES_TARGET", info.symLinkTarget());
    if (isFolder)
        startCounting(path);
}

PropertiesDialog::~PropertiesDialog()
{
    if (!m_counter)
        return;
    m_stop = true;
    m_counter->wait();
    delete m_counter;
}

void PropertiesDialog::addField(Field field, const char* labelKey, const QString& value)
{
    auto* label = new QLabel(value);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAccessibleName(withoutMnemonic(getText(labelKey)));
    m_form->addRow(getText(labelKey), label);
    m_values.insert(field, label);
}

QString PropertiesDialog::value(Field field) const
{
    const QLabel* label = m_values.value(field);
    return label ? label->text() : QString();
}

void PropertiesDialog::startCounting(const QString& path)
{
    m_counter = QThread::create([this, path] {
        const TreeCount count = countTree(path, CountSizes::Yes, m_stop);
        if (!m_stop.load())
            QMetaObject::invokeMethod(this, [this, count] { showCount(count); }, Qt::QueuedConnection);
    });
    m_counter->start();
}

void PropertiesDialog::showCount(const TreeCount& count)
{
    m_values.value(Field::Size)->setText(sizeText(count.bytes));
    // The folder itself is not part of its contents.
    m_values.value(Field::Contents)
        ->setText(QLocale::system().toString(count.files) + QLatin1Char(' ') + getText("PROPERTIES_FILES")
                  + QStringLiteral(", ") + QLocale::system().toString(count.folders - 1) + QLatin1Char(' ')
                  + getText("PROPERTIES_FOLDERS"));
    Q_EMIT countingFinished();
}

QString PropertiesDialog::permissionText(unsigned mode)
{
    QString text;
    text += S_ISDIR(mode) ? QLatin1Char('d') : S_ISLNK(mode) ? QLatin1Char('l') : QLatin1Char('-');
    // Each class: read, write, and execute with its special bit (set-id or sticky).
    const struct {
        unsigned read, write, execute, special;
        char specialLetter;
    } classes[] = {{S_IRUSR, S_IWUSR, S_IXUSR, S_ISUID, 's'},
                   {S_IRGRP, S_IWGRP, S_IXGRP, S_ISGID, 's'},
                   {S_IROTH, S_IWOTH, S_IXOTH, S_ISVTX, 't'}};
    for (const auto& bits : classes) {
        text += (mode & bits.read) ? QLatin1Char('r') : QLatin1Char('-');
        text += (mode & bits.write) ? QLatin1Char('w') : QLatin1Char('-');
        const bool execute = (mode & bits.execute) != 0;
        if (mode & bits.special)
            text += QLatin1Char(execute ? bits.specialLetter : char(bits.specialLetter - 'a' + 'A'));
        else
            text += execute ? QLatin1Char('x') : QLatin1Char('-');
    }
    return text;
}

QString PropertiesDialog::octalText(unsigned mode)
{
    return QStringLiteral("%1").arg(mode & 07777, 4, 8, QLatin1Char('0'));
}
