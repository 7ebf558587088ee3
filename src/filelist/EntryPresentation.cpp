#include "EntryPresentation.h"

#include "TextCatalogue.h"

#include <array>

namespace {

const QString kb = QStringLiteral(" KB");

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// The date part shared by both date rules: day, month, unpadded year, hour and minute.
QString dayAndMinute(const QDate& date, const QTime& time)
{
    return twoDigits(date.day()) + QLatin1Char('.') + twoDigits(date.month()) + QLatin1Char('.')
        + QString::number(date.year()) + QLatin1Char(' ') + twoDigits(time.hour()) + QLatin1Char(':')
        + twoDigits(time.minute());
}

struct AttributeLetter {
    char letter;
    quint32 bit;
};

constexpr AttributeLetter letterT{'T', FileAttribute::temporary};
constexpr AttributeLetter letterR{'R', FileAttribute::readOnly};
constexpr AttributeLetter letterH{'H', FileAttribute::hidden};
constexpr AttributeLetter letterS{'S', FileAttribute::system};
constexpr AttributeLetter letterN{'N', FileAttribute::normal};
constexpr AttributeLetter letterD{'D', FileAttribute::directory};
constexpr AttributeLetter letterC{'C', FileAttribute::compressed};
constexpr AttributeLetter letterA{'A', FileAttribute::archive};

constexpr std::array localLetters{letterT, letterR, letterH, letterS, letterN, letterD, letterC, letterA};
constexpr std::array remoteLetters{letterT, letterR, letterH, letterS, letterD, letterN, letterC, letterA};
constexpr std::array afterDeleteLetters{letterT, letterR, letterH, letterD, letterS, letterN, letterC, letterA};
constexpr std::array commandLetters{letterT, letterR, letterH, letterS, letterN, letterC, letterA};

template <std::size_t N>
QString lettersOf(quint32 attributes, const std::array<AttributeLetter, N>& letters)
{
    QString text;
    for (const AttributeLetter& entry : letters) {
        if (attributes & entry.bit)
            text.append(QLatin1Char(entry.letter));
    }
    return text;
}

} // namespace

QString getExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.mid(dot + 1);
}

QString iconKeyOf(const QString& fileName)
{
    return QLatin1Char('z') + getExtension(fileName).toLower();
}

QString fallbackSuffix()
{
    return getText("MPUB_FILEEXT");
}

QString localFallbackTypeName(const QString& key, const QString& suffix)
{
    return key.right(3).toUpper() + suffix;
}

QString remoteFallbackTypeName(const QString& key, const QString& suffix)
{
    const QString extension = key.startsWith(QLatin1Char('z')) ? key.mid(1) : key;
    return extension.toUpper() + suffix;
}

QString localSizeText(qint64 size)
{
    return QString::number(size / 1024 + 1) + kb;
}

QString remoteSizeText(qint64 size)
{
    // Banker's rounding of size / 1024, done in integers so that no size loses precision.
    const bool negative = size < 0;
    const quint64 magnitude = negative ? 0 - static_cast<quint64>(size) : static_cast<quint64>(size);
    quint64 kilobytes = magnitude / 1024;
    const quint64 rest = magnitude % 1024;
    if (rest > 512 || (rest == 512 && kilobytes % 2 == 1))
        ++kilobytes;
    if (kilobytes == 0)
        return QStringLiteral("1") + kb;
    return (negative ? QStringLiteral("-") : QString()) + QString::number(kilobytes) + kb;
}

QString localDateText(const QDateTime& utc)
{
    if (!utc.isValid())
        return {};
    const QDateTime time = utc.toUTC();
    return dayAndMinute(time.date(), time.time()) + QLatin1Char(':') + twoDigits(time.time().second());
}

QString remoteDateText(const QDateTime& time)
{
    if (!time.isValid())
        return {};
    return dayAndMinute(time.date(), time.time());
}

QString attributeText(quint32 attributes, AttributeOrder order)
{
    switch (order) {
    case AttributeOrder::Local:
        return lettersOf(attributes, localLetters);
    case AttributeOrder::Remote:
        return lettersOf(attributes, remoteLetters);
    case AttributeOrder::AfterDelete:
        return lettersOf(attributes, afterDeleteLetters);
    case AttributeOrder::Command:
        return lettersOf(attributes, commandLetters);
    }
    return {};
}

QString columnText(const FileEntry& entry, EntryColumn column, const RowStyle& style)
{
    if (entry.kind == EntryKind::Parent)
        return column == EntryColumn::Name ? entry.name : QString();
    const bool local = style.side == ListSide::Local;
    switch (column) {
    case EntryColumn::Name:
        return entry.name;
    case EntryColumn::Size:
        if (entry.isFolderLike())
            return {};
        return local ? localSizeText(entry.size) : remoteSizeText(entry.size);
    case EntryColumn::Type:
        return entry.isFolderLike() ? style.folderText : entry.typeName;
    case EntryColumn::Changed:
        return local ? localDateText(entry.lastWrite) : remoteDateText(entry.lastWrite);
    case EntryColumn::Attributes:
        return attributeText(entry.attributes, style.order);
    }
    return {};
}
