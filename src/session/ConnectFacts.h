#pragma once

#include <QString>

// How a connect went as to encryption (FTP over TLS).
enum class TlsOutcome {
    NotAsked,           // Plain: AUTH TLS was not sent
    Encrypted,          // TLS on the control and every data connection; tlsVersion names it
    PlainFallback,      // IfAvailable: the server refused AUTH TLS, the connection went on in plain text
    NotOffered,         // Required: the server refused AUTH TLS; no connection, nothing of the login sent
    Failed,             // the server agreed, but the TLS handshake, PBSZ or PROT failed: no connection
    CertificateRefused, // the certificate was not accepted: no connection
};

// What the last openConnection() settled, as plain values that the connection commands turn into
// history lines, whether the connect worked or not. Each protocol fills in what concerns it; the
// rest keeps its default.
struct ConnectFacts {
    TlsOutcome tls = TlsOutcome::NotAsked;
    QString tlsVersion; // "TLSv1.3", when tls is Encrypted
};
