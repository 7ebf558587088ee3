#include "Reply.h"

#include "NameCodec.h"

ReplyClass Reply::classify(int code)
{
    if (code < 100 || code > 599)
        return ReplyClass::Invalid;
    switch (code / 100) {
    case 1:
        return ReplyClass::Preliminary;
    case 2:
        return ReplyClass::Completion;
    case 3:
        return ReplyClass::Intermediate;
    case 4:
        return ReplyClass::TransientFailure;
    default:
        return ReplyClass::PermanentFailure;
    }
}

void Reply::keepLine(QByteArrayView bytes)
{
    if (isCut) {
        ++droppedLines;
        return;
    }
    qsizetype kept = 0;
    for (const QString& earlier : std::as_const(lines))
        kept += earlier.size();
    const qsizetype room = maxKeptCharacters - kept;
    QString line = NameCodec::decode(bytes);
    if (lines.size() >= maxKeptLines || line.size() > room) {
        if (lines.isEmpty()) {
            line.truncate(room);
            lines.append(line);
        } else {
            ++droppedLines;
        }
        isCut = true;
        return;
    }
    lines.append(std::move(line));
}

QString Reply::summary() const
{
    // A long multi-line reply (FEAT, a banner) is of no use in an error text past its start.
    constexpr qsizetype maxSummary = 300;
    QString text = QString::number(code);
    for (const QString& line : lines) {
        if (text.size() > maxSummary)
            break;
        const QStringView trimmed = QStringView(line).trimmed();
        if (trimmed.isEmpty())
            continue;
        text += QLatin1Char(' ');
        text += trimmed.left(maxSummary + 1);
    }
    if (text.size() > maxSummary || isCut)
        text = text.left(maxSummary) + QStringLiteral("...");
    return text;
}
