#include "MimeTypeInfoProvider.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QStyle>

namespace {

bool isUnknown(const QMimeType& type)
{
    return !type.isValid() || type.isDefault();
}

} // namespace

QMimeType MimeTypeInfoProvider::mimeTypeOf(const QString& fileName) const
{
    return m_database.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
}

QString MimeTypeInfoProvider::typeName(const QString& fileName)
{
    const QMimeType type = mimeTypeOf(fileName);
    return isUnknown(type) ? QString() : type.comment();
}

QIcon MimeTypeInfoProvider::fileIcon(const QString& fileName)
{
    return iconForMimeType(mimeTypeOf(fileName));
}

QIcon MimeTypeInfoProvider::folderIcon()
{
    QIcon icon = QIcon::fromTheme(QStringLiteral("folder"));
    if (icon.isNull())
        icon = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    return icon;
}

QIcon MimeTypeInfoProvider::iconForMimeType(const QMimeType& type)
{
    const QString name = type.name();
    const auto cached = m_iconsByMimeType.constFind(name);
    if (cached != m_iconsByMimeType.constEnd())
        return *cached;

    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    if (icon.isNull())
        icon = QFileIconProvider().icon(QAbstractFileIconProvider::File);
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    m_iconsByMimeType.insert(name, icon);
    return icon;
}
