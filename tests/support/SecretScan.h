#pragma once

#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

// The files under the user's config and data folders that hold one of secrets as it is, or in
// base64: "path: secret" each. Every file is read whole, hidden ones too.
inline QStringList filesHoldingSecrets(const QStringList& secrets)
{
    QStringList found;
    const QStringList roots{QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
    for (const QString& root : roots) {
        QDirIterator files(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            for (const QString& secret : secrets) {
                const QByteArray bytes = secret.toUtf8();
                if (content.contains(bytes) || content.contains(bytes.toBase64()))
                    found.append(file.fileName() + QStringLiteral(": ") + secret);
            }
        }
    }
    return found;
}
