#pragma once

#include <QStringList>

#include <initializer_list>

// The names of entries or rows, in their order, for comparing a listing with what a test expects.
template <typename Container>
QStringList namesOf(const Container& items)
{
    QStringList names;
    for (const auto& item : items)
        names.append(item.name);
    return names;
}

// A list of names written as plain literals: strings({"..", "docs"}).
inline QStringList strings(std::initializer_list<const char*> texts)
{
    QStringList result;
    for (const char* text : texts)
        result.append(QString::fromUtf8(text));
    return result;
}
