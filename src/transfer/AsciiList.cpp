#include "AsciiList.h"

#include "ShellServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace AsciiList {

namespace {

const QString fileName = QStringLiteral("ascii.dat");

// The items of one line: up to each comma, quoted items may hold commas.
void parseLine(QStringView line, QStringList& entries)
{
    qsizetype at = 0;
    for (;;) {
        while (at < line.size() && (line[at] == QLatin1Char(' ') || line[at] == QLatin1Char('\t')))
            ++at;
        QString entry;
        if (at < line.size() && line[at] == QLatin1Char('"')) {
            const qsizetype close = line.indexOf(QLatin1Char('"'), at + 1);
            const qsizetype end = close < 0 ? line.size() : close;
            entry = line.mid(at + 1, end - at - 1).toString();
            // Anything between the closing quote and the next comma is not part of the entry.
            const qsizetype comma = line.indexOf(QLatin1Char(','), end);
            at = comma < 0 ? line.size() : comma;
        } else {
            const qsizetype comma = line.indexOf(QLatin1Char(','), at);
            const qsizetype end = comma < 0 ? line.size() : comma;
            entry = line.mid(at, end - at).toString();
            at = end;
        }
        // An empty entry would make every name with a dot an ASCII file, whatever the rule.
        if (!entry.isEmpty())
            entries.append(entry);
        if (at >= line.size())
            return;
        ++at; // past the comma: another item follows, if only an empty one
    }
}

} // namespace

QString userFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QLatin1Char('/') + fileName;
}

QString shippedFile()
{
    return ShellServices::dataFolder() + QLatin1Char('/') + fileName;
}

QStringList load()
{
    const QString own = userFile();
    QFile file(QFileInfo::exists(own) ? own : shippedFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll());
}

QStringList parse(const QByteArray& content)
{
    QStringList entries;
    const QString text = QString::fromUtf8(content);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n'))
            ++end;
        parseLine(QStringView(text).mid(start, end - start), entries);
        // CR LF, LF or a lone CR ends a line.
        if (end < text.size() && text[end] == QLatin1Char('\r'))
            ++end;
        if (end < text.size() && text[end] == QLatin1Char('\n'))
            ++end;
        start = end;
    }
    return entries;
}

bool save(const QStringList& entries, QString* error)
{
    const QString path = userFile();
    auto failed = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QDir().mkpath(QFileInfo(path).path()))
        return failed(QStringLiteral("%1: cannot create the folder").arg(QFileInfo(path).path()));
    // Written beside the list and renamed over it: a full disk or a crash never leaves half a list.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(QStringLiteral("%1: %2").arg(path, file.errorString()));
    for (const QString& entry : entries)
        file.write(entry.toUtf8() + "\r\n");
    if (!file.commit())
        return failed(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return true;
}

bool isAsciiFile(const QString& name, const QStringList& entries)
{
    const QStringView fileName = QStringView(name).mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QStringView extension = fileName.mid(dot + 1);
    for (const QString& entry : entries) {
        if (!entry.isEmpty() && extension.compare(entry, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace AsciiList
