#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real OpenSSH sshd on 127.0.0.1 for the SFTP tests, on a free port, with everything of its own
// in a temporary folder: a host key made for the test, an authorized-keys file, and a client
// folder (clientFolder()) that stands in for ~/.ssh: the client key id_ed25519 that the server
// takes, and known_hosts. SFTP sessions start in rootPath().
//
//   SshdFixture server;
//   QVERIFY2(server.start(), qPrintable(server.errorText()));
//
// sshd runs as the test's own user; only that user logs in by key. As root, sshd checks passwords
// too, for a system user that passwordUser() creates.
class SshdFixture
{
public:
    SshdFixture();
    ~SshdFixture();
    SshdFixture(const SshdFixture&) = delete;
    SshdFixture& operator=(const SshdFixture&) = delete;

    bool start();
    void stop();

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }
    QString rootPath() const { return m_dir.filePath(QStringLiteral("root")); }
    QString clientFolder() const { return m_dir.filePath(QStringLiteral("client")); }
    QString knownHostsPath() const { return clientFolder() + QStringLiteral("/known_hosts"); }
    static QString userName();
    // The public host key as a known-hosts line wants it ("ssh-ed25519 AAAA..."), and its
    // fingerprint as ssh-keygen -l prints it ("SHA256:...").
    QString hostKeyText() const;
    QString hostKeyFingerprint() const;
    // What sshd logged (LogLevel VERBOSE: every log-in attempt).
    QString log() const;
    // Makes a key pair at path (path.pub beside it) with passphrase; false with errorText().
    bool makeKey(const QString& path, const QString& passphrase = {});
    // Authorizes the public key at path.pub for the test's user.
    bool authorize(const QString& publicKeyPath);

    // A system user with a password, for password log-in; only root can make one. Empty when
    // none could be made.
    static QString passwordUser(const QString& password);

private:
    bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr);

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
