#pragma once

#include "RemoteOperations.h"
#include "SshOptions.h"
#include "TlsOptions.h"

#include <QStringList>
#include <QTextStream>

// The command-line driver of the FTP and SFTP sessions:
//   ftpbench [--passive] [--piece BYTES] [--tls off|auto|require] [--trust SHA256]
//            [--protocol ftp|sftp] [--hostkey SHA256:...] [--key FILE]
//            HOST PORT USER PASS COMMAND ARGS... [-- COMMAND ARGS...]...
// Commands run one after another on one connection; the first that fails ends the run. See
// TlsOptions.h for the encryption options and SshOptions.h for SFTP's; the connection's
// encryption (FTP) or log-in method (SFTP) is reported on stderr.
class FtpBench
{
public:
    FtpBench(QTextStream& out, QTextStream& err);

    // The exit status: 0 when every command succeeded, 1 otherwise, 2 for a usage error.
    int run(const QStringList& arguments);

private:
    bool runCommand(const QStringList& command);
    bool pwd();
    bool cd(const QString& directory);
    bool list(const QString& directory);
    bool get(const QString& remote, const QString& local);
    bool put(const QString& local, const QString& remote, TransferFlag flag);
    void printRate(qint64 bytes, qint64 nanoseconds);
    int usage(const QString& problem);

    QTextStream& m_out;
    QTextStream& m_err;
    std::unique_ptr<RemoteOperations> m_session;
    qint64 m_pieceSize = 256 * 1024;
    TlsOptions m_tls;
    SshOptions m_ssh;
};
