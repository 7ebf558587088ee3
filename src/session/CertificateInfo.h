#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// Why the system does not accept a certificate.
enum class CertificateProblem {
    SelfSigned,       // signed by itself, not by an authority
    Untrusted,        // its issuer is not among the authorities the system trusts
    Expired,
    NotYetValid,
    HostNameMismatch, // made out for another name than the address typed
    Other,            // revoked, wrong purpose, broken signature and the like
};

// Everything the peer-identity question shows of an X.509 certificate. Plain values: the GUI
// builds its dialog from them.
struct CertificateInfo {
    QString host; // as typed in the connection bar
    quint16 port = 0;
    QByteArray sha256; // the certificate's SHA-256 digest (32 bytes); fingerprint() for display
    QString subject;   // distinguished names, e.g. "CN=ftp.example.org, O=Example"
    QString issuer;
    QDateTime validFrom;
    QDateTime validUntil;
    QList<CertificateProblem> problems; // at least one
    QStringList reasons;                // the TLS library's own words for them (English)
    // The user once chose to trust another certificate for this host and port: the server's
    // certificate has changed since (a new one, or someone in between).
    bool changed = false;
    QByteArray storedSha256; // that other certificate's digest, when changed

    QString fingerprint() const { return formatFingerprint(sha256); }

    // "AB:CD:..." in upper-case hex.
    static QString formatFingerprint(const QByteArray& digest);
    // A SHA-256 fingerprint typed by a user: 64 hex digits, in pairs separated by colons or not.
    static std::optional<QByteArray> parseFingerprint(QStringView text);
};
