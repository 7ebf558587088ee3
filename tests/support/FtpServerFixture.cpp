#include "FtpServerFixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

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
    const Options& o = m_options;
    QStringList arguments{QStringLiteral(TEST_SUPPORT_DIR "/ftp_test_server.py"), QStringLiteral("--root"),
                          QDir(rootDir).absolutePath(), QStringLiteral("--host"), o.host, QStringLiteral("--user"),
                          user(), QStringLiteral("--password"), password()};
    const auto option = [&arguments](bool given, const char* name, const QString& value = {}) {
        if (given)
            arguments << QString::fromLatin1(name) << (value.isEmpty() ? QStringList() : QStringList{value});
    };
    option(o.hostileNames, "--hostile-names");
    option(o.dropAfterCommands > 0, "--drop-after", QString::number(o.dropAfterCommands));
    option(o.advertiseMlsd, "--advertise-mlsd");
    option(o.rawAscii, "--raw-ascii");
    option(o.noExtendedModes, "--no-extended");
    option(!o.brokenRetrName.isEmpty(), "--broken-retr", o.brokenRetrName);
    option(!o.protectedFolder.isEmpty(), "--protected", o.protectedFolder);
    option(o.realPwd, "--real-pwd");
    option(!o.brokenStorName.isEmpty(), "--broken-stor", o.brokenStorName);
    option(o.refuseDelete, "--refuse-dele");
    option(o.hiddenStores, "--hidden-stores");
    option(o.refuseMlsd, "--refuse-mlsd");
    option(o.throttle > 0, "--throttle", QString::number(o.throttle));
    option(o.cutAfter > 0, "--cut-after", QString::number(o.cutAfter));
    option(o.cutAfter > 0, "--cuts", QString::number(o.cuts));
    option(o.changeOnCut, "--change-on-cut");
    option(o.noRest, "--no-rest");
    option(o.noReplaceRename, "--no-replace-rename");
    option(o.noRename, "--no-rename");

    const QString python = qEnvironmentVariable("FTPCLIENT_TEST_PYTHON", QStringLiteral("/usr/bin/python3"));
    m_process.setStandardErrorFile(m_logDir.filePath(QStringLiteral("server.log")));
    m_process.start(python, arguments);
    // The server names its port on its first line once it listens.
    const QDeadlineTimer deadline(15'000);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
    }
    bool ok = false;
    const uint port = m_process.readLine().trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        m_error = QStringLiteral("the test server (%1) did not start: %2 %3").arg(python, m_process.errorString(), serverLog());
        stop();
        return 0;
    }
    m_error.clear();
    return m_port = static_cast<quint16>(port);
}

void FtpServerFixture::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel(); // the server's cue to end
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    m_port = 0;
}

QString FtpServerFixture::serverLog()
{
    QFile log(m_logDir.filePath(QStringLiteral("server.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}
