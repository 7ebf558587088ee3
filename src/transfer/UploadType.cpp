#include "UploadType.h"

#include "AsciiList.h"

TransferFlag UploadType::flagFor(const QString& remoteName) const
{
    if (type != TransferType::Auto)
        return flag;
    return AsciiList::isAsciiFile(remoteName, asciiExtensions) ? TransferFlag::Ascii : TransferFlag::Binary;
}
