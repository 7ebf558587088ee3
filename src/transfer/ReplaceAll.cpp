#include "ReplaceAll.h"

QString replaceAll(QString& text, const QString& find, const QString& replacement)
{
    if (find.isEmpty())
        return text;
    qsizetype position = 0;
    for (;;) {
        position = text.indexOf(find, position, Qt::CaseInsensitive);
        if (position < 0)
            return text;
        text.replace(position, find.size(), replacement);
        // Go on after the inserted text, so a replacement that contains find cannot loop.
        position += replacement.size();
    }
}
