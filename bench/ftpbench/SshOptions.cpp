#include "SshOptions.h"

#include <QRegularExpression>

bool SshOptions::take(QStringList& rest, ConnectionSettings& settings, bool& handled, QString& problem)
{
    handled = false;
    if (rest.isEmpty())
        return true;
    const QString option = rest.first();
    if (option != QLatin1String("--protocol") && option != QLatin1String("--hostkey") && option != QLatin1String("--key"))
        return true;
    handled = true;
    rest.removeFirst();
    if (rest.isEmpty()) {
        problem = QStringLiteral("%1 needs a value").arg(option);
        return false;
    }
    const QString value = rest.takeFirst();
    if (option == QLatin1String("--key")) {
        settings.sftp.keyFile = value;
    } else if (option == QLatin1String("--hostkey")) {
        // "SHA256:" and 43 characters of unpadded base64: 32 bytes.
        static const QRegularExpression fingerprint(QStringLiteral("^SHA256:[A-Za-z0-9+/]{43}$"));
        if (!fingerprint.match(value).hasMatch()) {
            problem = QStringLiteral("--hostkey needs a fingerprint as ssh-keygen -l prints it (SHA256:...), not %1").arg(value);
            return false;
        }
        trustedHostKey = value;
    } else if (value == QLatin1String("ftp")) {
        settings.protocol = Protocol::Ftp;
    } else if (value == QLatin1String("sftp")) {
        settings.protocol = Protocol::Sftp;
    } else {
        problem = QStringLiteral("--protocol takes ftp or sftp, not %1").arg(value);
        return false;
    }
    return true;
}

TrustDecision SshOptions::decide(const HostKeyInfo& key, QTextStream& err) const
{
    const bool accepted = trustedHostKey == key.fingerprint;
    err << "host key of " << key.host << " port " << key.port << (accepted ? " (trusted by --hostkey)" : " refused")
        << ":\n  " << key.keyType << ' ' << key.fingerprint << '\n';
    if (key.changed)
        err << "  CHANGED: the known-hosts file holds another key " << key.storedFingerprint << '\n';
    err.flush();
    return accepted ? TrustDecision::Once : TrustDecision::Cancel;
}

QString SshOptions::usage()
{
    return QStringLiteral("[--protocol ftp|sftp] [--hostkey SHA256:...] [--key FILE]");
}
