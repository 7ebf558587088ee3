#pragma once

#include "CertificateInfo.h"
#include "ConnectionSettings.h"
#include "PeerIdentity.h"
#include "TrustStore.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class QSslCertificate;
class QSslError;

// Decides whether a server's certificate is accepted, and keeps what a connect settled for the
// re-connections its commands make: that the server spoke TLS, and which certificate was
// accepted. A certificate the system accepts (trusted authority, matching name) passes silently;
// one the user chose to trust always passes while it stays the same; any other is put to the
// question once. A re-connection passes silently only with the certificate accepted at connect
// time (or one the system accepts); a server that changes its certificate in the middle of a
// command is put to the question again, with the warning that names the one accepted before.
class ConnectTrust
{
public:
    void setQuestion(PeerIdentityQuestion question) { m_question = std::move(question); }

    // A new connect: what the last one settled no longer holds.
    void forget();
    // The encryption a connection must use: once a connect to this host and port was encrypted,
    // its re-connections do not go on in plain text (someone in between could strip AUTH TLS).
    FtpSettings::Encryption encryptionFor(const QString& host, quint16 port,
                                                 FtpSettings::Encryption requested) const;
    // True when the certificate may be used; why says otherwise.
    bool acceptCertificate(const QString& host, quint16 port, const QSslCertificate& certificate,
                           const QList<QSslError>& errors, QString& why);
    // A connection was made: the first one to a host and port since forget() settles it.
    void connected(const QString& host, quint16 port, bool encrypted);

private:
    struct Settled {
        QString host; // TrustStore::hostKey()
        quint16 port = 0;
        bool encrypted = false;
        QByteArray sha256; // the certificate accepted, when encrypted
    };
    bool isSettled(const QString& host, quint16 port) const;

    PeerIdentityQuestion m_question;
    TrustStore m_store;
    std::optional<Settled> m_settled;
    QByteArray m_accepted; // the certificate accepted in the connection being made
};
