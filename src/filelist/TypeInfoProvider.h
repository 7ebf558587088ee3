#pragma once

#include <QIcon>
#include <QString>

// Names and pictures of file types, asked by file name alone so that the remote pane can use it
// for entries that exist only on the server. Call it on the GUI thread (pictures are GUI objects).
class TypeInfoProvider
{
public:
    virtual ~TypeInfoProvider() = default;

    // A descriptive name of the type of a file called fileName; empty when no type is known.
    virtual QString typeName(const QString& fileName) = 0;
    // The picture of a file called fileName, in the sizes the lists ask for.
    virtual QIcon fileIcon(const QString& fileName) = 0;
    // The picture of a folder.
    virtual QIcon folderIcon() = 0;
};
