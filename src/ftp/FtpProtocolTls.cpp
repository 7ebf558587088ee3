#include "FtpProtocol.h"

#include "CertificateInfo.h"
#include "TlsTransport.h"

#include <QCryptographicHash>

#include <algorithm>

// The TLS steps of FtpProtocol (RFC 4217), apart from the plain sequencing.

bool FtpProtocol::negotiateTls(const QString& host, FtpSettings::Encryption encryption, const CertificateCheck& check)
{
    const std::optional<Reply> auth = command(u"AUTH", QStringLiteral("TLS"));
    if (!auth) {
        dropConnection();
        return false;
    }
    if (auth->code != 234) {
        if (encryption == FtpSettings::Encryption::Required) {
            m_tlsOutcome = TlsOutcome::NotOffered;
            dropConnection(); // before the user name: nothing of the login goes out in plain text
            return fail(QStringLiteral("the server does not offer TLS: %1").arg(auth->summary()));
        }
        m_tlsOutcome = TlsOutcome::PlainFallback;
        note(QStringLiteral("the server does not offer TLS; going on in plain text"));
        return true;
    }

    m_peerName = host.trimmed();
    if (m_peerName.startsWith(QLatin1Char('[')) && m_peerName.endsWith(QLatin1Char(']')))
        m_peerName = m_peerName.mid(1, m_peerName.size() - 2);
    if (!m_control.startTls(m_peerName)) {
        m_tlsOutcome = TlsOutcome::Failed;
        return failTransport();
    }
    const TlsTransport* tls = m_control.tls();
    const QSslCertificate certificate = tls->peerCertificate();
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
    note(QStringLiteral("%1, certificate %2").arg(tls->protocolName(), CertificateInfo::formatFingerprint(digest)));
    // Nothing has been sent under TLS yet; a refused certificate ends the connection here.
    QString why;
    const bool accepted = check ? check(certificate, tls->handshakeErrors(), why) : tls->handshakeErrors().isEmpty();
    if (!accepted) {
        m_tlsOutcome = TlsOutcome::CertificateRefused;
        dropConnection();
        return fail(why.isEmpty() ? QStringLiteral("the server's certificate was not accepted") : why);
    }
    m_encrypted = true;
    m_tlsOutcome = TlsOutcome::Encrypted;
    m_tlsVersion = tls->protocolName();
    m_certificate = digest;
    return true;
}

bool FtpProtocol::protectData()
{
    // Data connections under TLS too; a server that will not has no place in an encrypted session.
    if (expectCompletion(u"PBSZ", QStringLiteral("0")) && expectCompletion(u"PROT", QStringLiteral("P")))
        return true;
    m_tlsOutcome = TlsOutcome::Failed;
    dropConnection();
    return false;
}

bool FtpProtocol::secureData(Transfer& transfer)
{
    // The handshake comes after the server's 150: servers start theirs only once the transfer
    // command is in. A refusal may arrive meanwhile (vsftpd: "522 ... session reuse required").
    const QByteArray session = m_control.tls()->session();
    DataConnection::Event event = transfer.data->startTls(m_peerName, session, transfer.finalReply ? nullptr : &m_control);
    while (event == DataConnection::Event::ControlReady) {
        if (!takeMidTransferReply(transfer))
            return false;
        event = transfer.data->startTls(m_peerName, session, transfer.finalReply ? nullptr : &m_control);
    }
    if (event == DataConnection::Event::Done) {
        const QByteArray digest = transfer.data->tls()->peerCertificate().digest(QCryptographicHash::Sha256);
        if (digest == m_certificate)
            return true;
        transfer.data->abort();
        transfer.data.reset();
        dropConnection(); // someone in between, or a server we cannot tell from one
        return fail(QStringLiteral("%1: the data connection shows another certificate than the control connection")
                        .arg(transfer.command));
    }
    const QString reason = transfer.data->errorText();
    transfer.data->abort();
    transfer.data.reset();
    // A data connection that closes before its handshake fails the transfer, even after a 226:
    // anyone on the way can close it, and an empty listing or file would pass for the real one.
    if (event == DataConnection::Event::Failed && isConnected()) {
        // The server says why on the control connection; waiting for that is bounded like an abort.
        if (!transfer.finalReply)
            readFinalReply(transfer, std::min(m_policy.idleTimeout(), abortReplyMilliseconds));
        if (isConnected()) {
            setState(State::Ready);
            const QString detail = transfer.finalReply && !transfer.finalReply->isCompletion() ? transfer.finalReply->summary() : reason;
            return fail(QStringLiteral("%1: %2").arg(transfer.command, detail));
        }
    }
    dropConnection(); // a stalled or cancelled handshake leaves the control connection out of step
    return fail(QStringLiteral("%1: %2").arg(transfer.command, reason));
}
