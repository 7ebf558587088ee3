#pragma once

#include "TypeInfoProvider.h"

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QStringList>

// A type provider that names only the extensions it was given and counts every question, so
// tests can tell how often a listing asks. Every picture is one of its own, so a test can tell
// which listing stored a picture.
class CountingTypeProvider : public TypeInfoProvider
{
public:
    explicit CountingTypeProvider(QHash<QString, QString> namesByExtension = {})
        : m_names(std::move(namesByExtension))
    {
    }

    QString typeName(const QString& fileName) override
    {
        typeNameQuestions.append(fileName);
        const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
        return dot < 0 ? QString() : m_names.value(fileName.mid(dot + 1).toLower());
    }

    QIcon fileIcon(const QString& fileName) override
    {
        iconQuestions.append(fileName);
        return picture();
    }

    QIcon folderIcon() override
    {
        ++folderIconQuestions;
        return picture();
    }

    QStringList typeNameQuestions;
    QStringList iconQuestions;
    int folderIconQuestions = 0;

private:
    QIcon picture()
    {
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor::fromHsv((++m_made * 37) % 360, 200, 200));
        return QIcon(pixmap);
    }

    QHash<QString, QString> m_names;
    int m_made = 0;
};
