#pragma once

#include "ConnectionSettings.h"
#include "PeerIdentity.h"

#include <QByteArray>
#include <QStringList>
#include <QTextStream>

#include <optional>

// The encryption options every ftpbench command takes:
//   --tls off|auto|require   plain FTP only / TLS when the server offers it (default) / TLS or nothing
//   --trust SHA256           accept the certificate with this SHA-256 fingerprint (hex, with or
//                            without colons) although the system does not; without it such a
//                            certificate is refused
struct TlsOptions {
    std::optional<QByteArray> trusted;

    // Takes the option at the front of rest when it is one of these; false with problem set when
    // it is malformed. handled tells whether it was one of ours.
    bool take(QStringList& rest, ConnectionSettings& settings, bool& handled, QString& problem);
    // The answer about a certificate: the one fingerprint trusted this time, else cancel; either
    // way the certificate is described on err.
    TrustDecision decide(const PeerIdentity& identity, QTextStream& err) const;

    static QString usage();
};
