#pragma once

#include "TypeInfoProvider.h"

#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QStringList>

// A type provider that names only the extensions it was given, counts every question and hands
// out a new picture for every question, so a test can tell which listing stored a picture.
class FreshIconProvider : public TypeInfoProvider
{
public:
    explicit FreshIconProvider(QHash<QString, QString> namesByExtension = {})
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
        return freshIcon();
    }

    QIcon folderIcon() override
    {
        ++folderIconQuestions;
        return freshIcon();
    }

    QStringList typeNameQuestions;
    QStringList iconQuestions;
    int folderIconQuestions = 0;

private:
    QIcon freshIcon()
    {
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor::fromHsv((++m_made * 37) % 360, 200, 200));
        return QIcon(pixmap);
    }

    QHash<QString, QString> m_names;
    int m_made = 0;
};
