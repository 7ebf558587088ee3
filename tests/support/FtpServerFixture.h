#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real FTP server on the loopback interface for integration tests: pyftpdlib, run by
// ftp_test_server.py beside this file, on a port the system picks. It serves rootDir to two users:
//   user() / password()    full rights (list, download, upload, create, rename, delete)
//   readerUser() / readerPassword()   list and download only: the way to get "550 permission denied"
// The server ends with the fixture (or stop()); it also ends by itself when the test process dies,
// because it watches its stdin.
//
//   FtpServerFixture server;                       // or FtpServerFixture server({.advertiseMlsd = true});
//   const quint16 port = server.start(root.path()); // 0 when it did not start: QVERIFY2(port, qPrintable(server.errorText()))
//
// Options, for the tests that need a particular server:
//   hostileNames       every listing (LIST and MLSD) also carries entries named "../evil" and "a/b",
//                      and a line no parser reads
//   dropAfterCommands  N > 0: the server closes the control connection, without a reply, when
//                      command N+1 arrives (USER and PASS count) - a server that goes away
//   advertiseMlsd      FEAT lists MLSD (pyftpdlib otherwise names only MLST)
//   refuseMlsd         MLSD is answered "500 not understood" while FEAT still names MLST
//   rawAscii           TYPE A uploads are stored as they came over the wire (normally the server
//                      turns CR LF back into LF), so a test can see the client's line ends
//   noExtendedModes    EPSV and EPRT are refused: clients must fall back to PASV and PORT
//   host               "127.0.0.1" (default) or "::1" for IPv6
//   brokenRetrName     RETR of a file with this name sends its first 4 KiB, then ends the data
//                      connection and replies 426 - a transfer that breaks in the middle
//   protectedFolder    a folder below rootDir (relative; it must exist at start) in which user()
//                      may only list and download - deletes and renames there are refused
//   realPwd            PWD reports the real path, links resolved (as servers that ask the file
//                      system for it do)
//   brokenStorName     STOR of a file with this name stores 4 KiB or a little more, then ends the
//                      data connection and replies 426 (a full disk), leaving the part behind
//   refuseDelete       every DELE is answered 550
//   throttle           N > 0: uploads are received at no more than N bytes a second
//   hiddenStores       STOR writes to a hidden name that replaces the file only once complete, and
//                      is removed when the transfer breaks: the old file stays (proftpd's HiddenStores)
//   cutAfter, cuts     the first cuts transfers (RETR, STOR, APPE; 1 by default) end after cutAfter
//                      bytes with the control connection closed, as a broken link ends them
//   changeOnCut        a cut RETR leaves the file changed: other bytes, one more, a day later
//   noRest             REST is not known (and FEAT does not name REST STREAM)
//   noReplaceRename    RNTO onto an existing name is refused with 550
//   noRename           every RNFR is refused with 550 (an upload-only folder)
// Names that are not valid UTF-8 reach the server's file system as the same bytes. Wrong
// passwords are refused at once (pyftpdlib normally waits 3 seconds).
struct FtpServerOptions {
    bool hostileNames = false;
    int dropAfterCommands = 0;
    bool advertiseMlsd = false;
    bool rawAscii = false;
    bool noExtendedModes = false;
    QString host = QStringLiteral("127.0.0.1");
    QString brokenRetrName = {};
    QString protectedFolder = {};
    bool realPwd = false;
    QString brokenStorName = {};
    bool refuseDelete = false;
    int throttle = 0;
    bool hiddenStores = false;
    bool refuseMlsd = false;
    int cutAfter = 0;
    int cuts = 1;
    bool changeOnCut = false;
    bool noRest = false;
    bool noReplaceRename = false;
    bool noRename = false;
};

class FtpServerFixture
{
public:
    using Options = FtpServerOptions;

    explicit FtpServerFixture(Options options = {});
    ~FtpServerFixture();
    FtpServerFixture(const FtpServerFixture&) = delete;
    FtpServerFixture& operator=(const FtpServerFixture&) = delete;

    // Starts serving rootDir; the port, or 0 when the server did not come up (see errorText()).
    quint16 start(const QString& rootDir);
    void stop();

    QString host() const { return m_options.host; }
    quint16 port() const { return m_port; }
    QString portText() const { return QString::number(m_port); }
    static QString user() { return QStringLiteral("tester"); }
    static QString password() { return QStringLiteral("s3cr3t-pw"); }
    static QString readerUser() { return QStringLiteral("reader"); }
    static QString readerPassword() { return QStringLiteral("reader"); }

    // Why start() failed, with what the server wrote to stderr.
    QString errorText() const { return m_error; }
    // What the server logged so far (pyftpdlib logs every command; passwords masked).
    QString serverLog();

private:
    Options m_options;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
    QTemporaryDir m_logDir; // the server's stderr goes to a file: nobody reads a pipe while a test blocks
};
