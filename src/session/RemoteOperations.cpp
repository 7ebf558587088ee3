#include "RemoteOperations.h"

#include "DownloadFile.h"

#include <QFile>

bool RemoteOperations::getFrom(DownloadFile& file, const QString& remoteName, qint64& offset, std::optional<qint64>,
                               const Progress& progress)
{
    // get() writes a file of its own beside the target; a partial is of no use to it.
    offset = 0;
    const QString partial = file.partialPath();
    file.discard();
    const bool fetched = get(file.targetPath(), remoteName, progress);
    if (fetched && !partial.isEmpty())
        QFile::remove(partial);
    return fetched;
}
