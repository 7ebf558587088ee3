#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// How a VsftpdFixture serves.
struct VsftpdOptions {
    bool tls = true;
    QString certificate = {}; // a PEM file with certificate and key; empty: the fixture's own
    quint16 port = 0;         // 0: a free port
};

// A real vsftpd on 127.0.0.1 for the encryption tests, run as the test's own user
// (run_as_launching_user) from a configuration written for it. Anonymous login with a password
// (USER anonymous, PASS), rooted in rootDir; uploads, new folders, renames and deletes allowed.
// With TLS (the default) login and data must be encrypted, and data connections must resume the
// control connection's TLS session (require_ssl_reuse), as common servers are set up.
//
//   VsftpdFixture server;
//   QVERIFY2(server.start(root.path()), qPrintable(server.errorText()));
//
// The certificate is self-signed and made for the fixture with openssl (CN=localhost, so the
// name does not match 127.0.0.1 either); makeCertificate() makes others, to swap them.
class VsftpdFixture
{
public:
    using Options = VsftpdOptions;

    explicit VsftpdFixture(Options options = {});
    ~VsftpdFixture();
    VsftpdFixture(const VsftpdFixture&) = delete;
    VsftpdFixture& operator=(const VsftpdFixture&) = delete;

    // Starts serving rootDir; the port, or 0 when the server did not come up (see errorText()).
    quint16 start(const QString& rootDir);
    void stop();

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString portText() const { return QString::number(m_port); }
    QString errorText() const { return m_error; }
    // The SHA-256 digest of the certificate served.
    QByteArray certificateSha256() const;
    // What the server logged: every command and reply, and for TLS whether a session was reused.
    QString serverLog() const;

    // Writes a self-signed certificate and its key into one PEM file.
    static bool makeCertificate(const QString& path, const QString& commonName, QString& error);

private:
    Options m_options; // a free port once started, kept for restarts
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
