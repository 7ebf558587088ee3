#include "VsftpdFixture.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

constexpr int startTimeoutMilliseconds = 10'000;

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

} // namespace

VsftpdFixture::VsftpdFixture()
    : VsftpdFixture(Options{})
{
}

VsftpdFixture::VsftpdFixture(Options options)
    : m_options(std::move(options))
{
}

VsftpdFixture::~VsftpdFixture()
{
    stop();
}

bool VsftpdFixture::makeCertificate(const QString& path, const QString& commonName, QString& error)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName,
                   QStringLiteral("-keyout"), path + QStringLiteral(".key"), QStringLiteral("-out"), path});
    if (!openssl.waitForFinished(30'000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        error = QStringLiteral("openssl failed: %1 %2").arg(openssl.errorString(), QString::fromLocal8Bit(openssl.readAll()));
        return false;
    }
    QFile key(path + QStringLiteral(".key"));
    QFile pem(path);
    if (!key.open(QIODevice::ReadOnly) || !pem.open(QIODevice::Append)) {
        error = QStringLiteral("cannot join certificate and key in %1").arg(path);
        return false;
    }
    pem.write(key.readAll());
    key.remove();
    return true;
}

QString VsftpdFixture::writeConfiguration(const QString& rootDir)
{
    QStringList lines = {
        QStringLiteral("listen=YES"), QStringLiteral("listen_ipv6=NO"), QStringLiteral("listen_address=127.0.0.1"),
        QStringLiteral("listen_port=%1").arg(m_port), QStringLiteral("background=NO"),
        QStringLiteral("run_as_launching_user=YES"), QStringLiteral("seccomp_sandbox=NO"), QStringLiteral("isolate=NO"),
        QStringLiteral("isolate_network=NO"), QStringLiteral("anonymous_enable=YES"), QStringLiteral("local_enable=NO"),
        QStringLiteral("no_anon_password=NO"), QStringLiteral("anon_root=%1").arg(QDir(rootDir).absolutePath()),
        QStringLiteral("anon_world_readable_only=NO"), QStringLiteral("write_enable=YES"),
        QStringLiteral("anon_upload_enable=YES"), QStringLiteral("anon_mkdir_write_enable=YES"),
        QStringLiteral("anon_other_write_enable=YES"), QStringLiteral("anon_umask=022"), QStringLiteral("pasv_enable=YES"),
        QStringLiteral("port_enable=YES"), QStringLiteral("connect_from_port_20=NO"), QStringLiteral("max_per_ip=0"),
        QStringLiteral("xferlog_enable=YES"), QStringLiteral("xferlog_std_format=NO"), QStringLiteral("log_ftp_protocol=YES"),
        QStringLiteral("vsftpd_log_file=%1").arg(m_dir.filePath(QStringLiteral("vsftpd.log"))),
    };
    if (m_options.tls) {
        const QString certificate = m_options.certificate.isEmpty() ? m_dir.filePath(QStringLiteral("server.pem"))
                                                                    : m_options.certificate;
        lines << QStringLiteral("ssl_enable=YES") << QStringLiteral("allow_anon_ssl=YES")
              << QStringLiteral("force_anon_logins_ssl=YES") << QStringLiteral("force_anon_data_ssl=YES")
              << QStringLiteral("require_ssl_reuse=YES") << QStringLiteral("ssl_ciphers=HIGH")
              << QStringLiteral("debug_ssl=YES") << QStringLiteral("rsa_cert_file=%1").arg(certificate)
              << QStringLiteral("rsa_private_key_file=%1").arg(certificate);
    }
    const QString path = m_dir.filePath(QStringLiteral("vsftpd.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    return path;
}

quint16 VsftpdFixture::start(const QString& rootDir)
{
    stop();
    m_error.clear();
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return 0;
    }
    if (m_options.tls && m_options.certificate.isEmpty() && !QFile::exists(m_dir.filePath(QStringLiteral("server.pem")))
        && !makeCertificate(m_dir.filePath(QStringLiteral("server.pem")), QStringLiteral("localhost"), m_error))
        return 0;
    m_port = m_options.port ? m_options.port : freePort();
    const QString configuration = writeConfiguration(rootDir);
    if (configuration.isEmpty()) {
        m_error = QStringLiteral("cannot write the configuration");
        return 0;
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("vsftpd.out")));
    m_process.start(QStringLiteral("vsftpd"), {configuration});
    if (!m_process.waitForStarted(startTimeoutMilliseconds)) {
        m_error = QStringLiteral("cannot run vsftpd: %1").arg(m_process.errorString());
        m_port = 0;
        return 0;
    }
    // Up once it takes connections.
    const QDeadlineTimer deadline(startTimeoutMilliseconds);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(host(), m_port);
        if (probe.waitForConnected(200) && m_process.state() == QProcess::Running)
            return m_port;
        m_process.waitForFinished(100);
    }
    QFile output(m_dir.filePath(QStringLiteral("vsftpd.out")));
    output.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("vsftpd did not start: %1").arg(QString::fromLocal8Bit(output.readAll()));
    stop();
    return 0;
}

void VsftpdFixture::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    m_port = 0;
}

QByteArray VsftpdFixture::certificateSha256() const
{
    const QString path = m_options.certificate.isEmpty() ? m_dir.filePath(QStringLiteral("server.pem")) : m_options.certificate;
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(path);
    return certificates.isEmpty() ? QByteArray() : certificates.first().digest(QCryptographicHash::Sha256);
}

QString VsftpdFixture::serverLog() const
{
    QFile log(m_dir.filePath(QStringLiteral("vsftpd.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll());
}
