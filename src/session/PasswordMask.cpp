#include "PasswordMask.h"

namespace {

const QString hidden = QStringLiteral("****");

bool opensWord(QChar c)
{
    return c.isSpace() || QStringView(u"\"'`([<{=:").contains(c);
}

bool closesWord(QChar c)
{
    return c.isSpace() || QStringView(u"\"'`)]>}").contains(c);
}

bool closesSentence(QStringView text, qsizetype at)
{
    return QStringView(u".,;:!?").contains(text[at]) && (at + 1 == text.size() || closesWord(text[at + 1]));
}

} // namespace

QString maskPassword(QString text, const QString& password)
{
    if (password.isEmpty())
        return text;
    const qsizetype length = password.size();
    for (qsizetype at = text.indexOf(password); at >= 0; at = text.indexOf(password, at)) {
        const qsizetype end = at + length;
        const bool opens = at == 0 || opensWord(text[at - 1]);
        const bool closes = end == text.size() || closesWord(text[end]) || closesSentence(text, end);
        if (opens && closes) {
            text.replace(at, length, hidden);
            at += hidden.size();
        } else {
            ++at;
        }
    }
    return text;
}
