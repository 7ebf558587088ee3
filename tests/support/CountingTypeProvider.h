#pragma once

#include "TypeInfoProvider.h"

#include <QApplication>
#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QStringList>
#include <QStyle>

// A type provider that names only the extensions it was given and counts every question, so
// tests can tell how often a listing asks. With Pictures::Fresh every question gets a picture of
// its own, so a test can tell which listing stored a picture.
class CountingTypeProvider : public TypeInfoProvider
{
public:
    enum class Pictures { Stock, Fresh };

    explicit CountingTypeProvider(QHash<QString, QString> namesByExtension = {}, Pictures pictures = Pictures::Stock)
        : m_names(std::move(namesByExtension))
        , m_pictures(pictures)
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
        return picture(QStyle::SP_FileIcon);
    }

    QIcon folderIcon() override
    {
        ++folderIconQuestions;
        return picture(QStyle::SP_DirIcon);
    }

    void reset()
    {
        typeNameQuestions.clear();
        iconQuestions.clear();
        folderIconQuestions = 0;
    }

    QStringList typeNameQuestions;
    QStringList iconQuestions;
    int folderIconQuestions = 0;

private:
    QIcon picture(QStyle::StandardPixmap stock)
    {
        if (m_pictures == Pictures::Stock)
            return QApplication::style()->standardIcon(stock);
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor::fromHsv((++m_made * 37) % 360, 200, 200));
        return QIcon(pixmap);
    }

    QHash<QString, QString> m_names;
    Pictures m_pictures;
    int m_made = 0;
};
