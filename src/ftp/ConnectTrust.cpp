#include "ConnectTrust.h"

#include "CertificateDescription.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslError>

void ConnectTrust::forget()
{
    m_settled.reset();
    m_accepted.clear();
}

bool ConnectTrust::isSettled(const QString& host, quint16 port) const
{
    return m_settled && m_settled->host == TrustStore::hostKey(host) && m_settled->port == port;
}

FtpSettings::Encryption ConnectTrust::encryptionFor(const QString& host, quint16 port,
                                                           FtpSettings::Encryption requested) const
{
    if (requested == FtpSettings::Encryption::IfAvailable && isSettled(host, port) && m_settled->encrypted)
        return FtpSettings::Encryption::Required;
    return requested;
}

bool ConnectTrust::acceptCertificate(const QString& host, quint16 port, const QSslCertificate& certificate,
                                     const QList<QSslError>& errors, QString& why)
{
    m_accepted.clear();
    if (certificate.isNull()) {
        why = QStringLiteral("the server showed no certificate");
        return false;
    }
    const QByteArray sha256 = certificate.digest(QCryptographicHash::Sha256);
    const bool settled = isSettled(host, port);
    if (errors.isEmpty() || (settled && m_settled->sha256 == sha256)) {
        m_accepted = sha256;
        return true;
    }
    // A re-connection that meets another certificate than its connect accepted warns about that
    // change; a connect, about a change from the certificate trusted always.
    const bool replaced = settled && !m_settled->sha256.isEmpty();
    const std::optional<QByteArray> stored = replaced ? std::optional(m_settled->sha256) : m_store.find(host, port);
    if (stored == sha256) {
        m_accepted = sha256;
        return true;
    }
    CertificateInfo info = describeCertificate(host, port, certificate, errors);
    info.changed = stored.has_value();
    info.storedSha256 = stored.value_or(QByteArray());
    const TrustDecision decision = m_question ? m_question(PeerIdentity(info)) : TrustDecision::Cancel;
    if (decision == TrustDecision::Cancel) {
        why = QStringLiteral("the certificate %1 was not accepted (%2)")
                  .arg(info.fingerprint(), info.reasons.join(QStringLiteral("; ")));
        return false;
    }
    if (decision == TrustDecision::Always) {
        QString error;
        // Not stored is no reason to refuse what the user accepted; it is asked again next time.
        if (!m_store.store(host, port, sha256, error))
            qWarning("%s", qPrintable(error));
    }
    m_accepted = sha256;
    if (replaced)
        m_settled->sha256 = sha256; // the connect's later re-connections meet it without asking
    return true;
}

void ConnectTrust::connected(const QString& host, quint16 port, bool encrypted)
{
    if (isSettled(host, port))
        return; // a re-connection: the connect's settlement stands
    m_settled = Settled{TrustStore::hostKey(host), port, encrypted, encrypted ? m_accepted : QByteArray()};
}
