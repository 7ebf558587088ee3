#pragma once

#include "TransferFlag.h"
#include "TransferType.h"

#include <QStringList>

// How an upload sends its files, read when the command starts: the user's choice, the flag that
// choice set, and the extensions AUTO sends as ASCII.
struct UploadType {
    TransferType type = TransferType::Auto;
    TransferFlag flag = TransferFlag::Binary;
    QStringList asciiExtensions;

    // TransferFlagForUpload: in AUTO the name the file gets on the server decides (ASCII when it
    // is an ASCII file); ASCII and BINARY send every file with the flag the choice set.
    TransferFlag flagFor(const QString& remoteName) const;
};
