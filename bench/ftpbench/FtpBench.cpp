#include "FtpBench.h"

#include "AsciiUploadFilter.h"
#include "SessionMaker.h"

#include <QElapsedTimer>
#include <QFile>

namespace {

const QString separator = QStringLiteral("--");

} // namespace

FtpBench::FtpBench(QTextStream& out, QTextStream& err)
    : m_out(out)
    , m_err(err)
{
}

int FtpBench::usage(const QString& problem)
{
    m_err << "ftpbench: " << problem << "\n"
          << "usage: ftpbench [--passive] [--piece BYTES] " << TlsOptions::usage() << ' ' << SshOptions::usage()
          << " HOST PORT USER PASS COMMAND ARGS... [-- COMMAND ARGS...]...\n"
          << "commands: pwd | cd DIR | list [DIR] | get REMOTE LOCAL | put LOCAL REMOTE [ascii|binary]\n"
          << "          | mkdir DIR | rmdir DIR | delete NAME | rename OLD NEW\n";
    m_err.flush();
    return 2;
}

int FtpBench::run(const QStringList& arguments)
{
    QStringList rest = arguments;
    ConnectionSettings settings;
    while (!rest.isEmpty() && rest.first().startsWith(QLatin1String("--")) && rest.first() != separator) {
        bool handled = false;
        QString problem;
        if (!m_tls.take(rest, settings, handled, problem) || (!handled && !m_ssh.take(rest, settings, handled, problem)))
            return usage(problem);
        if (handled)
            continue;
        const QString option = rest.takeFirst();
        if (option == QLatin1String("--passive")) {
            settings.ftp.passive = true;
        } else if (option == QLatin1String("--piece") && !rest.isEmpty()) {
            bool ok = false;
            m_pieceSize = rest.takeFirst().toLongLong(&ok);
            if (!ok || m_pieceSize < 1)
                return usage(QStringLiteral("--piece needs a positive number of bytes"));
        } else {
            return usage(QStringLiteral("unknown option %1").arg(option));
        }
    }
    if (rest.size() < 5)
        return usage(QStringLiteral("missing arguments"));
    settings.host = rest.takeFirst();
    settings.port = rest.takeFirst();
    settings.user = rest.takeFirst();
    settings.password = rest.takeFirst();

    QList<QStringList> commands{{}};
    for (const QString& word : rest) {
        if (word == separator)
            commands.append(QStringList{});
        else
            commands.last().append(word);
    }
    for (const QStringList& command : commands) {
        if (command.isEmpty())
            return usage(QStringLiteral("empty command"));
    }

    m_session = makeSession(settings.protocol);
    m_session->setPeerIdentityQuestion([this](const PeerIdentity& identity) {
        return identity.hostKey() ? m_ssh.decide(*identity.hostKey(), m_err) : m_tls.decide(identity, m_err);
    });
    if (!m_session->openConnection(settings)) {
        m_err << "ftpbench: connect failed: " << m_session->lastError() << "\n";
        m_err.flush();
        return 1;
    }
    static const char* const logIns[] = {"none", "agent", "key file", "password", "keyboard-interactive"};
    if (const ConnectFacts facts = m_session->connectFacts(); settings.protocol == Protocol::Sftp)
        m_err << "ftpbench: SSH, logged in by " << logIns[static_cast<int>(facts.logIn)] << ", in "
              << m_session->startFolder() << "\n";
    else if (facts.tls == TlsOutcome::Encrypted)
        m_err << "ftpbench: encrypted with " << facts.tlsVersion << "\n";
    else
        m_err << "ftpbench: not encrypted\n";
    m_err.flush();
    for (const QStringList& command : commands) {
        if (!runCommand(command)) {
            m_out.flush();
            m_err << "ftpbench: " << command.join(QLatin1Char(' ')) << " failed: " << m_session->lastError() << "\n";
            m_err.flush();
            m_session->closeConnection();
            return 1;
        }
        m_out.flush();
    }
    m_session->closeConnection();
    return 0;
}

bool FtpBench::runCommand(const QStringList& command)
{
    const QString& name = command.first();
    const qsizetype count = command.size() - 1;
    if (name == QLatin1String("pwd") && count == 0)
        return pwd();
    if (name == QLatin1String("cd") && count == 1)
        return cd(command[1]);
    if (name == QLatin1String("list") && count <= 1)
        return list(count == 1 ? command[1] : QString());
    if (name == QLatin1String("get") && count == 2)
        return get(command[1], command[2]);
    if (name == QLatin1String("put") && (count == 2 || count == 3)) {
        const QString type = count == 3 ? command[3] : QStringLiteral("binary");
        if (type != QLatin1String("ascii") && type != QLatin1String("binary")) {
            m_err << "ftpbench: put takes ascii or binary, not " << type << "\n";
            return false;
        }
        return put(command[1], command[2], type == QLatin1String("ascii") ? TransferFlag::Ascii : TransferFlag::Binary);
    }
    if (name == QLatin1String("mkdir") && count == 1)
        return m_session->createDir(command[1]);
    if (name == QLatin1String("rmdir") && count == 1)
        return m_session->removeDir(command[1]);
    if (name == QLatin1String("delete") && count == 1)
        return m_session->remove(command[1]);
    if (name == QLatin1String("rename") && count == 2)
        return m_session->rename(command[1], command[2]);
    m_err << "ftpbench: unknown command or wrong number of arguments: " << command.join(QLatin1Char(' ')) << "\n";
    return false;
}

bool FtpBench::pwd()
{
    const QString directory = m_session->currentDir();
    if (directory.isEmpty())
        return false;
    m_out << directory << "\n";
    return true;
}

bool FtpBench::cd(const QString& directory)
{
    return m_session->setDir(directory) && pwd();
}

bool FtpBench::list(const QString& directory)
{
    QString back;
    if (!directory.isEmpty()) {
        back = m_session->currentDir();
        if (back.isEmpty() || !m_session->setDir(directory))
            return false;
    }
    const auto entries = m_session->list();
    if (!entries)
        return false;
    for (const RemoteEntry& entry : *entries) {
        const char kind = entry.isLink ? 'l' : entry.isDirectory ? 'd' : '-';
        m_out << entry.name << '\t' << kind << '\t' << entry.size << '\t'
              << entry.lastWrite.toString(QStringLiteral("yyyy-MM-dd HH:mm")) << '\t' << entry.attributes << '\n';
    }
    if (m_session->unreadableLines() > 0)
        m_err << "ftpbench: " << m_session->unreadableLines() << " unreadable listing lines left out\n";
    return back.isEmpty() || m_session->setDir(back);
}

void FtpBench::printRate(qint64 bytes, qint64 nanoseconds)
{
    const double seconds = static_cast<double>(nanoseconds) / 1e9;
    const double megabytesPerSecond = seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0;
    m_out << "bytes=" << bytes << " seconds=" << QString::number(seconds, 'f', 3)
          << " MBps=" << QString::number(megabytesPerSecond, 'f', 1) << "\n";
}

bool FtpBench::get(const QString& remote, const QString& local)
{
    qint64 bytes = 0;
    QElapsedTimer timer;
    timer.start();
    const bool ok = m_session->get(local, remote, [&bytes](qint64 done, qint64) { bytes = done; });
    const qint64 elapsed = timer.nsecsElapsed();
    if (ok)
        printRate(bytes, elapsed);
    return ok;
}

bool FtpBench::put(const QString& local, const QString& remote, TransferFlag flag)
{
    QFile file(local);
    if (!file.open(QIODevice::ReadOnly)) {
        m_err << "ftpbench: cannot read " << local << ": " << file.errorString() << "\n";
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<UploadStream> upload = AsciiUploadFilter::forType(m_session->openForUpload(remote, flag), flag);
    if (!upload)
        return false;
    QByteArray piece(m_pieceSize, Qt::Uninitialized);
    qint64 bytes = 0;
    for (;;) {
        const qint64 got = file.read(piece.data(), piece.size());
        if (got < 0) {
            m_err << "ftpbench: cannot read " << local << ": " << file.errorString() << "\n";
            return false; // the stream's destructor breaks the upload off
        }
        if (got == 0)
            break;
        if (!upload->write(piece.constData(), got))
            return false;
        bytes += got;
    }
    if (!upload->close())
        return false;
    printRate(bytes, timer.nsecsElapsed());
    return true;
}
