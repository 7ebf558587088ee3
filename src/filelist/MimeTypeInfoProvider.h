#pragma once

#include "TypeInfoProvider.h"

#include <QHash>
#include <QMimeDatabase>

// Type names and pictures from the shared MIME database and the icon theme, by file name only.
// "application/octet-stream" (nothing matched the name) counts as no type name.
class MimeTypeInfoProvider : public TypeInfoProvider
{
public:
    // The MIME type of a file called fileName, judged by its name alone.
    QMimeType mimeTypeOf(const QString& fileName) const;

    QString typeName(const QString& fileName) override;
    QIcon fileIcon(const QString& fileName) override;
    QIcon folderIcon() override;

private:
    QIcon iconForMimeType(const QMimeType& type);

    QMimeDatabase m_database;
    QHash<QString, QIcon> m_iconsByMimeType; // theme look-ups are slow enough to keep
};
