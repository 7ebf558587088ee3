#include "SftpTypes.h"

#include <QCryptographicHash>

namespace {

// The type bits of st_mode.
constexpr quint32 typeMask = 0170000;
constexpr quint32 typeFolder = 0040000;
constexpr quint32 typeFile = 0100000;
constexpr quint32 typeLink = 0120000;

} // namespace

SftpKind SftpAttributes::kind() const
{
    if (!hasPermissions)
        return SftpKind::File;
    switch (permissions & typeMask) {
    case typeFolder:
        return SftpKind::Folder;
    case typeFile:
        return SftpKind::File;
    case typeLink:
        return SftpKind::Link;
    default:
        return SftpKind::Other;
    }
}

QString SftpAttributes::permissionText() const
{
    if (!hasPermissions)
        return {};
    QString text;
    switch (permissions & typeMask) {
    case typeFolder: text += QLatin1Char('d'); break;
    case typeLink: text += QLatin1Char('l'); break;
    case 0020000: text += QLatin1Char('c'); break;
    case 0060000: text += QLatin1Char('b'); break;
    case 0010000: text += QLatin1Char('p'); break;
    case 0140000: text += QLatin1Char('s'); break;
    default: text += QLatin1Char('-'); break;
    }
    // Each triple: read, write, execute; the set-id and sticky bits show in the execute place.
    static constexpr quint32 specialBits[3] = {04000, 02000, 01000};
    static constexpr char specialLetters[3] = {'s', 's', 't'};
    for (int who = 0; who < 3; ++who) {
        const int shift = 6 - 3 * who;
        const quint32 bits = (permissions >> shift) & 07;
        text += QLatin1Char(bits & 04 ? 'r' : '-');
        text += QLatin1Char(bits & 02 ? 'w' : '-');
        const bool special = permissions & specialBits[who];
        const char letter = specialLetters[who];
        if (bits & 01)
            text += QLatin1Char(special ? letter : 'x');
        else
            text += QLatin1Char(special ? static_cast<char>(letter - 'a' + 'A') : '-');
    }
    return text;
}

QString SshHostKey::fingerprint() const
{
    QByteArray digest = QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toBase64(QByteArray::OmitTrailingEquals);
    return QStringLiteral("SHA256:") + QString::fromLatin1(digest);
}
