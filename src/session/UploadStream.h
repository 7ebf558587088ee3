#pragma once

#include <QtGlobal>

// An open upload: the caller hands over the file piece by piece, the engine writes large blocks.
class UploadStream
{
public:
    virtual ~UploadStream() = default;
    virtual bool write(const char* data, qint64 size) = 0;
    // Ends the transfer; true only when the server confirmed the complete file.
    virtual bool close() = 0;
};
