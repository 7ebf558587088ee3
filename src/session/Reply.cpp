#include "Reply.h"

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

QString Reply::summary() const
{
    QString text = QString::number(code);
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        text += QLatin1Char(' ') + trimmed;
    }
    // A long multi-line reply (FEAT, a banner) is of no use in an error text past its start.
    constexpr qsizetype maxSummary = 300;
    if (text.size() > maxSummary)
        text = text.left(maxSummary) + QStringLiteral("...");
    return text;
}
