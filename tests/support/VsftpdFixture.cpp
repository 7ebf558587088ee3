#include "VsftpdFixture.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>

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
    // Key and certificate go into the one file, as vsftpd can take them.
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments =
        QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj").split(QLatin1Char(' '));
    openssl.start(QStringLiteral("openssl"), arguments << QStringLiteral("/CN=") + commonName << QStringLiteral("-keyout")
                                                       << path << QStringLiteral("-out") << path);
    if (openssl.waitForFinished(30'000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0
        && QSslCertificate::fromPath(path).size() == 1)
        return true;
    error = QStringLiteral("openssl failed: %1 %2").arg(openssl.errorString(), QString::fromLocal8Bit(openssl.readAll()));
    return false;
}

quint16 VsftpdFixture::start(const QString& rootDir)
{
    stop();
    m_error.clear();
    const QString certificate = m_options.certificate.isEmpty() ? m_dir.filePath(QStringLiteral("server.pem")) : m_options.certificate;
    if (m_options.tls && !QFile::exists(certificate) && !makeCertificate(certificate, QStringLiteral("localhost"), m_error))
        return 0;
    if (!m_options.port) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_options.port = probe.serverPort();
    }
    QString configuration = QStringLiteral(
        "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\nrun_as_launching_user=YES\n"
        "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\nanonymous_enable=YES\nlocal_enable=NO\nno_anon_password=NO\n"
        "anon_root=%2\nanon_world_readable_only=NO\nwrite_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
        "anon_other_write_enable=YES\nanon_umask=022\npasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
        "max_per_ip=0\nxferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\nvsftpd_log_file=%3\n")
        .arg(m_options.port).arg(QDir(rootDir).absolutePath(), m_dir.filePath(QStringLiteral("vsftpd.log")));
    if (m_options.tls)
        configuration += QStringLiteral("ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                                        "require_ssl_reuse=YES\nssl_ciphers=HIGH\ndebug_ssl=YES\nrsa_cert_file=%1\n"
                                        "rsa_private_key_file=%1\n").arg(certificate);
    QFile file(m_dir.filePath(QStringLiteral("vsftpd.conf")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(configuration.toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(file.fileName());
        return 0;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("vsftpd.out")));
    m_process.start(QStringLiteral("vsftpd"), {file.fileName()});
    // Up once it takes connections.
    const QDeadlineTimer deadline(15'000);
    while (!deadline.hasExpired() && m_process.waitForStarted(15'000) && m_process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(host(), m_options.port);
        if (probe.waitForConnected(1000) && m_process.state() == QProcess::Running)
            return m_port = m_options.port;
        m_process.waitForFinished(100);
    }
    QFile output(m_dir.filePath(QStringLiteral("vsftpd.out")));
    output.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("vsftpd did not start: %1 %2").arg(m_process.errorString(), QString::fromLocal8Bit(output.readAll()));
    stop();
    return 0;
}

void VsftpdFixture::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    m_port = 0;
}

QByteArray VsftpdFixture::certificateSha256() const
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(
        m_options.certificate.isEmpty() ? m_dir.filePath(QStringLiteral("server.pem")) : m_options.certificate);
    return certificates.isEmpty() ? QByteArray() : certificates.first().digest(QCryptographicHash::Sha256);
}

QString VsftpdFixture::serverLog() const
{
    QFile log(m_dir.filePath(QStringLiteral("vsftpd.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}
