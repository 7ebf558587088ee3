#include "FtpServerFixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

namespace {

constexpr int startTimeoutMilliseconds = 15'000;

QString serverScript()
{
    return QStringLiteral(TEST_SUPPORT_DIR "/ftp_test_server.py");
}

QString python()
{
    const QString configured = qEnvironmentVariable("FTPCLIENT_TEST_PYTHON");
    return configured.isEmpty() ? QStringLiteral("/usr/bin/python3") : configured;
}

} // namespace

FtpServerFixture::FtpServerFixture()
    : FtpServerFixture(Options{})
{
}

FtpServerFixture::FtpServerFixture(Options options)
    : m_options(std::move(options))
{
}

FtpServerFixture::~FtpServerFixture()
{
    stop();
}

quint16 FtpServerFixture::start(const QString& rootDir)
{
    stop();
    m_error.clear();
    QStringList arguments{serverScript(), QStringLiteral("--root"), QDir(rootDir).absolutePath(),
                          QStringLiteral("--host"), m_options.host, QStringLiteral("--user"), user(),
                          QStringLiteral("--password"), password()};
    if (m_options.hostileNames)
        arguments << QStringLiteral("--hostile-names");
    if (m_options.dropAfterCommands > 0)
        arguments << QStringLiteral("--drop-after") << QString::number(m_options.dropAfterCommands);
    if (m_options.advertiseMlsd)
        arguments << QStringLiteral("--advertise-mlsd");
    if (m_options.rawAscii)
        arguments << QStringLiteral("--raw-ascii");
    if (m_options.noExtendedModes)
        arguments << QStringLiteral("--no-extended");
    if (!m_options.brokenRetrName.isEmpty())
        arguments << QStringLiteral("--broken-retr") << m_options.brokenRetrName;
    if (!m_options.protectedFolder.isEmpty())
        arguments << QStringLiteral("--protected") << m_options.protectedFolder;
    if (m_options.realPwd)
        arguments << QStringLiteral("--real-pwd");
    if (!m_options.brokenStorName.isEmpty())
        arguments << QStringLiteral("--broken-stor") << m_options.brokenStorName;
    if (m_options.refuseDelete)
        arguments << QStringLiteral("--refuse-dele");
    if (m_options.throttle > 0)
        arguments << QStringLiteral("--throttle") << QString::number(m_options.throttle);

    m_process.setStandardErrorFile(m_logDir.filePath(QStringLiteral("server.log")));
    m_process.setProgram(python());
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(startTimeoutMilliseconds)) {
        m_error = QStringLiteral("cannot run %1: %2").arg(python(), m_process.errorString());
        return 0;
    }
    const QDeadlineTimer deadline(startTimeoutMilliseconds);
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running && !deadline.hasExpired())
        m_process.waitForReadyRead(100);
    const QByteArray line = m_process.readLine().trimmed();
    bool ok = false;
    const uint port = line.toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        m_error = QStringLiteral("the test server did not start: %1").arg(serverLog());
        stop();
        return 0;
    }
    m_port = static_cast<quint16>(port);
    return m_port;
}

void FtpServerFixture::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel(); // the server's cue to end
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    m_port = 0;
}

bool FtpServerFixture::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QString FtpServerFixture::serverLog()
{
    QFile log(m_logDir.filePath(QStringLiteral("server.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll());
}
