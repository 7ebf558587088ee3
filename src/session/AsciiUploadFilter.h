#pragma once

#include "TransferFlag.h"
#include "UploadStream.h"

#include <QByteArray>

#include <memory>

// An upload sent as text (TransferFlag::Ascii): every line end goes out as CR LF, as the wire
// format of a text transfer requires. A bare LF gains its CR, a CR LF stays as it is, also when a
// piece ends between the two. Wraps the stream the session opened and hands it the converted
// pieces; what the session does with them (TYPE A, blocks) is its own business.
class AsciiUploadFilter final : public UploadStream
{
public:
    explicit AsciiUploadFilter(std::unique_ptr<UploadStream> next);

    // The stream as an upload of type flag must be fed: an Ascii one through the filter, a Binary
    // one as it is. Null stays null.
    static std::unique_ptr<UploadStream> forType(std::unique_ptr<UploadStream> stream, TransferFlag flag);

    bool write(const char* data, qint64 size) override;
    bool close() override;

private:
    std::unique_ptr<UploadStream> m_next;
    bool m_previousWasCr = false;
    QByteArray m_converted; // keeps its memory from piece to piece
};
