#include "CertificateDescription.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslError>

namespace {

QString distinguishedName(const QSslCertificate& certificate, bool subject)
{
    const QList<QByteArray> attributes = subject ? certificate.subjectInfoAttributes() : certificate.issuerInfoAttributes();
    QStringList parts;
    for (const QByteArray& attribute : attributes) {
        const QStringList values = subject ? certificate.subjectInfo(attribute) : certificate.issuerInfo(attribute);
        for (const QString& value : values)
            parts.append(QString::fromLatin1(attribute) + QLatin1Char('=') + value);
    }
    return parts.join(QStringLiteral(", "));
}

CertificateProblem problemOf(QSslError::SslError error)
{
    switch (error) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
        return CertificateProblem::SelfSigned;
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return CertificateProblem::Untrusted;
    case QSslError::CertificateExpired:
        return CertificateProblem::Expired;
    case QSslError::CertificateNotYetValid:
        return CertificateProblem::NotYetValid;
    case QSslError::HostNameMismatch:
        return CertificateProblem::HostNameMismatch;
    default:
        break;
    }
    return CertificateProblem::Other;
}

} // namespace

CertificateInfo describeCertificate(const QString& host, quint16 port, const QSslCertificate& certificate,
                                   const QList<QSslError>& errors)
{
    CertificateInfo info;
    info.host = host;
    info.port = port;
    info.sha256 = certificate.digest(QCryptographicHash::Sha256);
    info.subject = distinguishedName(certificate, true);
    info.issuer = distinguishedName(certificate, false);
    info.validFrom = certificate.effectiveDate();
    info.validUntil = certificate.expiryDate();
    for (const QSslError& error : errors) {
        const CertificateProblem problem = problemOf(error.error());
        if (!info.problems.contains(problem))
            info.problems.append(problem);
        if (!info.reasons.contains(error.errorString()))
            info.reasons.append(error.errorString());
    }
    if (info.problems.isEmpty())
        info.problems.append(CertificateProblem::Other);
    return info;
}
