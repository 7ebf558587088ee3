#include "PeerDecisions.h"

#include <algorithm>

QString PeerDecisions::serverOf(const PeerIdentity& identity)
{
    const CertificateInfo* certificate = identity.certificate();
    const QString host = certificate ? certificate->host : identity.hostKey()->host;
    const quint16 port = certificate ? certificate->port : identity.hostKey()->port;
    return host.trimmed().toCaseFolded() + QLatin1Char(':') + QString::number(port);
}

QString PeerDecisions::keyOf(const PeerIdentity& identity)
{
    if (const CertificateInfo* certificate = identity.certificate())
        return serverOf(identity) + QStringLiteral(" x509 ") + QString::fromLatin1(certificate->sha256.toHex());
    return serverOf(identity) + QStringLiteral(" ssh ") + identity.hostKey()->keyType + QLatin1Char(' ')
           + identity.hostKey()->fingerprint;
}

void PeerDecisions::record(const PeerIdentity& identity, TrustDecision decision)
{
    if (decision == TrustDecision::Cancel)
        return;
    std::lock_guard lock(m_mutex);
    m_decisions.insert(keyOf(identity), decision);
}

TrustDecision PeerDecisions::decideForWorker(const PeerIdentity& identity)
{
    std::lock_guard lock(m_mutex);
    if (const auto known = m_decisions.constFind(keyOf(identity)); known != m_decisions.cend())
        return *known;
    m_unasked.append(identity);
    return TrustDecision::Cancel;
}

bool PeerDecisions::hasUnasked(const QString& host, quint16 port)
{
    const QString server = host.trimmed().toCaseFolded() + QLatin1Char(':') + QString::number(port);
    std::lock_guard lock(m_mutex);
    return std::any_of(m_unasked.cbegin(), m_unasked.cend(),
                       [&server](const PeerIdentity& identity) { return serverOf(identity) == server; });
}

std::optional<PeerIdentity> PeerDecisions::takeUnasked(const QString& host, quint16 port)
{
    const QString server = host.trimmed().toCaseFolded() + QLatin1Char(':') + QString::number(port);
    std::lock_guard lock(m_mutex);
    std::optional<PeerIdentity> found;
    for (qsizetype at = 0; at < m_unasked.size();) {
        if (serverOf(m_unasked.at(at)) != server) {
            ++at;
            continue;
        }
        if (!found)
            found = m_unasked.at(at);
        m_unasked.removeAt(at);
    }
    return found;
}
