#include "CertificateInfo.h"

QString CertificateInfo::formatFingerprint(const QByteArray& digest)
{
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

std::optional<QByteArray> CertificateInfo::parseFingerprint(QStringView text)
{
    QString hex = text.trimmed().toString();
    const bool paired = hex.contains(QLatin1Char(':'));
    if (paired) {
        const QStringList pairs = hex.split(QLatin1Char(':'));
        for (const QString& pair : pairs) {
            if (pair.size() != 2)
                return std::nullopt;
        }
        hex = pairs.join(QString());
    }
    if (hex.size() != 64)
        return std::nullopt;
    for (const QChar c : std::as_const(hex)) {
        if (!QStringView(u"0123456789abcdefABCDEF").contains(c))
            return std::nullopt;
    }
    return QByteArray::fromHex(hex.toLatin1());
}
