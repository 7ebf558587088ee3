#pragma once

#include "TypeInfoProvider.h"

#include <QApplication>
#include <QHash>
#include <QStringList>
#include <QStyle>

// A type provider that names only the extensions it was given and counts every question, so
// tests can tell how often a listing asks.
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
        return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    }

    QIcon folderIcon() override
    {
        ++folderIconQuestions;
        return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
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
    QHash<QString, QString> m_names;
};
