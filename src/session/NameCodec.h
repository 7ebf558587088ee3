#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Names on the wire are UTF-8, but servers send whatever bytes their file systems hold. Bytes
// that are not valid UTF-8 decode to the lone surrogates U+DC80..U+DCFF ("surrogateescape") and
// encode back to the same bytes, so every name taken from a listing or a reply goes back to the
// server byte for byte, while the display shows it lossily.
namespace NameCodec {

QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text);

} // namespace NameCodec
