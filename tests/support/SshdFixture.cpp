#include "SshdFixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include <pwd.h>
#include <unistd.h>

SshdFixture::SshdFixture()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("root"));
    QDir(m_dir.path()).mkpath(QStringLiteral("client"));
    QFile::setPermissions(clientFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The root folder is the session's start folder; a password user must be able to enter it.
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
    if (!makeKey(m_dir.filePath(QStringLiteral("hostkey"))) || !makeKey(clientFolder() + QStringLiteral("/id_ed25519")))
        return;
    authorize(clientFolder() + QStringLiteral("/id_ed25519.pub"));
}

SshdFixture::~SshdFixture()
{
    stop();
}

QString SshdFixture::userName()
{
    const passwd* entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

bool SshdFixture::run(const QString& program, const QStringList& arguments, QByteArray* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(30'000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QByteArray text = process.readAll();
    if (output)
        *output = text;
    if (!ok)
        m_error = QStringLiteral("%1 failed: %2 %3").arg(program, process.errorString(), QString::fromLocal8Bit(text));
    return ok;
}

bool SshdFixture::makeKey(const QString& path, const QString& passphrase)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".pub"));
    return run(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                                              QStringLiteral("-N"), passphrase, QStringLiteral("-f"), path});
}

bool SshdFixture::authorize(const QString& publicKeyPath)
{
    QFile key(publicKeyPath);
    QFile keys(m_dir.filePath(QStringLiteral("authorized_keys")));
    return key.open(QIODevice::ReadOnly) && keys.open(QIODevice::Append) && keys.write(key.readAll()) > 0;
}

QString SshdFixture::hostKeyText() const
{
    QFile file(m_dir.filePath(QStringLiteral("hostkey.pub")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    return fields.size() >= 2 ? QString::fromLatin1(fields[0] + ' ' + fields[1]) : QString();
}

QString SshdFixture::hostKeyFingerprint() const
{
    QByteArray output;
    if (!const_cast<SshdFixture*>(this)->run(QStringLiteral("ssh-keygen"), {QStringLiteral("-lf"), m_dir.filePath(QStringLiteral("hostkey.pub"))}, &output))
        return {};
    const QList<QByteArray> fields = output.simplified().split(' ');
    return fields.size() >= 2 ? QString::fromLatin1(fields[1]) : QString();
}

QString SshdFixture::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("sshd.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString SshdFixture::passwordUser(const QString& password)
{
    if (::geteuid() != 0)
        return {};
    const QString name = QStringLiteral("ftpclient-sftptest");
    QProcess process;
    if (!::getpwnam(name.toLatin1().constData())) {
        process.start(QStringLiteral("useradd"), {QStringLiteral("-M"), QStringLiteral("-s"), QStringLiteral("/bin/sh"), name});
        if (!process.waitForFinished(30'000) || process.exitCode() != 0)
            return {};
    }
    process.start(QStringLiteral("chpasswd"));
    process.waitForStarted(30'000);
    process.write((name + QLatin1Char(':') + password + QLatin1Char('\n')).toUtf8());
    process.closeWriteChannel();
    return process.waitForFinished(30'000) && process.exitCode() == 0 ? name : QString();
}

bool SshdFixture::start()
{
    stop();
    if (!m_error.isEmpty())
        return false;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    m_port = probe.serverPort();
    probe.close();
    // As root, sshd needs its privilege separation folder.
    if (::geteuid() == 0)
        QDir().mkpath(QStringLiteral("/run/sshd"));
    const QString configuration = QStringLiteral(
        "Port %1\nListenAddress 127.0.0.1\nHostKey %2/hostkey\nPidFile %2/sshd.pid\nAuthorizedKeysFile %2/authorized_keys\n"
        "UsePAM no\nStrictModes no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
        "PermitRootLogin prohibit-password\nSubsystem sftp internal-sftp -d %2/root\nLogLevel VERBOSE\n")
        .arg(m_port).arg(m_dir.path());
    QFile file(m_dir.filePath(QStringLiteral("sshd_config")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(configuration.toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(file.fileName());
        return false;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("/usr/sbin/sshd"), {QStringLiteral("-D"), QStringLiteral("-f"), file.fileName(), QStringLiteral("-E"),
                                                        m_dir.filePath(QStringLiteral("sshd.log"))});
    const QDeadlineTimer deadline(15'000);
    while (!deadline.hasExpired() && m_process.waitForStarted(15'000) && m_process.state() == QProcess::Running) {
        QTcpSocket socket;
        socket.connectToHost(host(), m_port);
        if (socket.waitForConnected(1000) && socket.waitForReadyRead(2000) && socket.readAll().startsWith("SSH-"))
            return true;
        m_process.waitForFinished(100);
    }
    m_error = QStringLiteral("sshd did not start: %1 %2 %3").arg(m_process.errorString(), QString::fromLocal8Bit(m_process.readAll()), log());
    stop();
    return false;
}

void SshdFixture::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}
