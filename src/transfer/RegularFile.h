#pragma once

#include <QString>

class QFile;

// Opens path for reading when it is a plain file (a link to one counts). A FIFO or a device would
// block the upload or never end, a folder has no content: they are not files to send.
bool openRegularFile(QFile& file, const QString& path);
