#include "TlsOptions.h"

bool TlsOptions::take(QStringList& rest, ConnectionSettings& settings, bool& handled, QString& problem)
{
    handled = false;
    if (rest.isEmpty())
        return true;
    const QString option = rest.first();
    if (option != QLatin1String("--tls") && option != QLatin1String("--trust"))
        return true;
    handled = true;
    rest.removeFirst();
    if (rest.isEmpty()) {
        problem = QStringLiteral("%1 needs a value").arg(option);
        return false;
    }
    const QString value = rest.takeFirst();
    if (option == QLatin1String("--trust")) {
        trusted = CertificateInfo::parseFingerprint(value);
        if (!trusted)
            problem = QStringLiteral("--trust needs a SHA-256 fingerprint (64 hex digits, colons allowed), not %1").arg(value);
        return trusted.has_value();
    }
    if (value == QLatin1String("off"))
        settings.ftp.encryption = FtpSettings::Encryption::Plain;
    else if (value == QLatin1String("auto"))
        settings.ftp.encryption = FtpSettings::Encryption::IfAvailable;
    else if (value == QLatin1String("require"))
        settings.ftp.encryption = FtpSettings::Encryption::Required;
    else {
        problem = QStringLiteral("--tls takes off, auto or require, not %1").arg(value);
        return false;
    }
    return true;
}

TrustDecision TlsOptions::decide(const PeerIdentity& identity, QTextStream& err) const
{
    if (!identity.certificate())
        return TrustDecision::Cancel; // host keys are SshOptions' business
    const CertificateInfo& info = *identity.certificate();
    const bool accepted = trusted && *trusted == info.sha256;
    err << "certificate of " << info.host << " port " << info.port << (accepted ? " (trusted by --trust)" : " refused")
        << ":\n  SHA-256 " << info.fingerprint() << "\n  subject " << info.subject << "\n  issuer  " << info.issuer
        << "\n  valid   " << info.validFrom.toString(Qt::ISODate) << " to " << info.validUntil.toString(Qt::ISODate)
        << "\n  reason  " << info.reasons.join(QStringLiteral("; ")) << '\n';
    if (info.changed)
        err << "  CHANGED: the certificate trusted before was " << CertificateInfo::formatFingerprint(info.storedSha256) << '\n';
    err.flush();
    return accepted ? TrustDecision::Once : TrustDecision::Cancel;
}

QString TlsOptions::usage()
{
    return QStringLiteral("[--tls off|auto|require] [--trust SHA256]");
}
