#include "ReplyParsers.h"

#include <QRegularExpression>

namespace ReplyParsers {

std::optional<QString> parsePwdReply(const QString& text)
{
    const qsizetype open = text.indexOf(QLatin1Char('"'));
    if (open < 0) {
        // Some old servers leave the quotes out: take the first word if it is a path.
        const QString word = text.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        if (word.startsWith(QLatin1Char('/')))
            return word;
        return std::nullopt;
    }
    QString path;
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('"')) {
            path += c;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
            path += c; // "" stands for one quote inside the name
            ++i;
            continue;
        }
        return path;
    }
    return std::nullopt; // no closing quote
}

std::optional<PassiveAddress> parsePasvReply(const QString& text)
{
    static const QRegularExpression sixNumbers(
        QStringLiteral("(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3}),(\\d{1,3})"));
    const QRegularExpressionMatch match = sixNumbers.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    quint32 values[6] = {};
    for (int i = 0; i < 6; ++i) {
        const uint value = match.capturedView(i + 1).toUInt();
        if (value > 255)
            return std::nullopt;
        values[i] = value;
    }
    const quint32 ipv4 = (values[0] << 24) | (values[1] << 16) | (values[2] << 8) | values[3];
    const quint32 port = values[4] * 256 + values[5];
    if (port == 0)
        return std::nullopt;
    return PassiveAddress{QHostAddress(ipv4), static_cast<quint16>(port)};
}

std::optional<quint16> parseEpsvReply(const QString& text)
{
    const qsizetype open = text.indexOf(QLatin1Char('('));
    if (open < 0 || open + 4 >= text.size())
        return std::nullopt;
    const QChar delimiter = text[open + 1];
    if (delimiter.unicode() < 33 || delimiter.unicode() > 126 || text[open + 2] != delimiter
        || text[open + 3] != delimiter)
        return std::nullopt;
    const qsizetype digitsStart = open + 4;
    const qsizetype close = text.indexOf(delimiter, digitsStart);
    if (close <= digitsStart || close + 1 >= text.size() || text[close + 1] != QLatin1Char(')'))
        return std::nullopt;
    bool ok = false;
    const QStringView digits = QStringView(text).mid(digitsStart, close - digitsStart);
    for (const QChar c : digits) {
        if (!c.isDigit())
            return std::nullopt;
    }
    const uint port = digits.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

QStringList parseFeatures(const Reply& reply)
{
    QStringList features;
    if (reply.code != 211)
        return features;
    // The first and last lines are the frame ("Features:", "End"); features stand between. A cut
    // reply has lost its last line.
    const qsizetype end = reply.isCut ? reply.lines.size() : reply.lines.size() - 1;
    for (qsizetype i = 1; i < end; ++i) {
        const QString feature = reply.lines[i].trimmed();
        if (!feature.isEmpty())
            features.append(feature);
    }
    return features;
}

bool hasFeature(const QStringList& features, QStringView keyword)
{
    for (const QString& feature : features) {
        const QStringView name = QStringView(feature).left(feature.indexOf(QLatin1Char(' ')));
        if (name.compare(keyword, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

std::optional<qint64> parseTransferSize(const QString& text)
{
    static const QRegularExpression bytes(QStringLiteral("\\((\\d{1,18}) bytes?\\)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = bytes.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return match.capturedView(1).toLongLong();
}

bool isEmptyListingReply(const Reply& reply)
{
    if (reply.code != 450 && reply.code != 550)
        return false;
    static const QRegularExpression nothingFound(QStringLiteral("\\bno (files|members|data sets) found\\b"),
                                                 QRegularExpression::CaseInsensitiveOption);
    return nothingFound.match(reply.firstLine()).hasMatch();
}

bool isUnopenedListingReply(const Reply& reply)
{
    return reply.isCompletion() && reply.text().contains(u"failed to open directory", Qt::CaseInsensitive);
}

} // namespace ReplyParsers
