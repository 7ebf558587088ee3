#pragma once

#include "CertificateInfo.h"

#include <QList>
#include <QString>

class QSslCertificate;
class QSslError;

// What the peer-identity question shows of a certificate the system does not accept, and why it
// does not (errors, as the TLS library reported them).
CertificateInfo describeCertificate(const QString& host, quint16 port, const QSslCertificate& certificate,
                                    const QList<QSslError>& errors);
