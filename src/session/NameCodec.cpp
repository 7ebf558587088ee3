#include "NameCodec.h"

namespace {

constexpr char16_t escapeBase = 0xDC00; // an invalid byte b becomes escapeBase + b (b >= 0x80)
constexpr char16_t replacementCharacter = 0xFFFD;

bool isContinuation(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence starting at bytes[at], and its code point; 0 when the
// bytes there are not a valid, shortest-form, non-surrogate sequence.
qsizetype validSequence(const uchar* bytes, qsizetype at, qsizetype size, char32_t& codePoint)
{
    const uchar lead = bytes[at];
    qsizetype length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > size)
        return 0;
    for (qsizetype i = 1; i < length; ++i) {
        const uchar next = bytes[at + i];
        if (!isContinuation(next))
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void appendUtf8(QByteArray& out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out.append(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.append(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.append(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.append(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.append(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.append(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace

namespace NameCodec {

QString decode(QByteArrayView bytes)
{
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype size = bytes.size();
    // At most one UTF-16 unit per byte: a 4-byte sequence gives two units.
    QString out(size, Qt::Uninitialized);
    char16_t* write = reinterpret_cast<char16_t*>(out.data());
    qsizetype at = 0;
    while (at < size) {
        const uchar byte = data[at];
        if (byte < 0x80) {
            *write++ = byte;
            ++at;
            continue;
        }
        char32_t codePoint = 0;
        const qsizetype length = validSequence(data, at, size, codePoint);
        if (length == 0) {
            *write++ = static_cast<char16_t>(escapeBase + byte);
            ++at;
        } else if (codePoint >= 0x10000) {
            *write++ = QChar::highSurrogate(codePoint);
            *write++ = QChar::lowSurrogate(codePoint);
            at += length;
        } else {
            *write++ = static_cast<char16_t>(codePoint);
            at += length;
        }
    }
    out.truncate(write - reinterpret_cast<const char16_t*>(out.constData()));
    return out;
}

QByteArray encode(QStringView text)
{
    QByteArray out;
    out.reserve(text.size());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            out.append(static_cast<char>(unit));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            appendUtf8(out, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF) {
            out.append(static_cast<char>(unit - escapeBase));
        } else if (QChar::isSurrogate(unit)) {
            // Cannot come from decode(); there is no byte form for it.
            appendUtf8(out, replacementCharacter);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

} // namespace NameCodec
