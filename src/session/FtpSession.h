#pragma once

#include "CertificateInfo.h"
#include "RemoteEntry.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// The values of the connection bar, read when a command starts.
struct ConnectionSettings {
    // Explicit FTP over TLS (AUTH TLS): the control connection is encrypted before the user name
    // and password go out, and every data connection is encrypted too.
    enum class Encryption {
        Plain,       // plain FTP only: AUTH TLS is never sent
        IfAvailable, // TLS when the server agrees to AUTH TLS, else plain text
        Required,    // TLS or no connection; the password never goes out in plain text
    };

    QString host;     // as typed
    QString port;     // as typed; see parsePort()
    QString user;
    QString password; // never written to history, logs or error texts
    bool passive = false;
    Encryption encryption = Encryption::IfAvailable;
};

// What the last connect found out about encryption, for the history.
enum class TlsOutcome {
    NotAsked,           // Plain: AUTH TLS was not sent
    Encrypted,          // TLS on the control and every data connection; tlsVersion() names it
    PlainFallback,      // IfAvailable: the server refused AUTH TLS, the connection went on in plain text
    NotOffered,         // Required: the server refused AUTH TLS; no connection, nothing of the login sent
    Failed,             // the server agreed, but the TLS handshake, PBSZ or PROT failed: no connection
    CertificateRefused, // the certificate was not accepted: no connection
};

// The type an upload is sent with.
enum class TransferFlag : quint32 { Ascii = 1, Binary = 2 };

// Port text as typed: blanks around it ignored, a decimal number rounded to the nearest whole
// number (halves to even); accepted when it lies in 1..65535.
std::optional<quint16> parsePort(const QString& text);

// An open upload: the caller hands over the file piece by piece, the engine writes large blocks.
class UploadStream
{
public:
    virtual ~UploadStream() = default;
    virtual bool write(const char* data, qint64 size) = 0;
    // Ends the transfer; true only when the server confirmed the complete file.
    virtual bool close() = 0;
};

// The one FTP connection. Lives on the session thread; every call blocks that thread only, and
// every wait ends within 100 ms once the cancel flag is set.
class FtpSession
{
public:
    using Progress = std::function<void(qint64 done, qint64 total)>;

    FtpSession();
    ~FtpSession();
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    void setCancelFlag(const std::atomic<bool>* cancelled);
    // Defaults: 20 s to connect, 60 s of silence from the server before giving up.
    void setTimeouts(int connectMilliseconds, int idleMilliseconds);
    // Every command, reply (as one line) and state change, the password masked; for the
    // transfer log's debug view and for tests that check what went over the wire.
    void setTranscript(std::function<void(const QString& line)> transcript);

    // Connects and logs in (OpenConnection); replaces any earlier connection. With TLS, a
    // certificate the system does not accept goes to the certificate question (see
    // setCertificateQuestion()), unless it was accepted before for this host and port: by "trust
    // always", or in this session's last connect to it, whose re-connections never ask.
    bool openConnection(const ConnectionSettings& settings);
    // Starts a new connect: the certificate accepted once and the encryption of the last connect
    // no longer hold. The connect command calls it; re-connections do not.
    void forgetConnectDecision();
    // Answers the certificate question; called on the session thread. Without one, a certificate
    // that needs the question is refused.
    void setCertificateQuestion(CertificateQuestion question);
    // How the last openConnection() went as to encryption, and the TLS version ("TLSv1.3").
    TlsOutcome tlsOutcome() const;
    QString tlsVersion() const;
    void closeConnection();
    bool isConnected() const;
    // What went wrong last, for logs and the benchmark driver; never holds the password.
    QString lastError() const;

    // The operation table: names are relative to the current folder, or absolute.
    bool ftpRename(const QString& oldName, const QString& newName);
    bool ftpCreateDir(const QString& name);
    bool ftpRemoveDir(const QString& name);
    bool ftpDelete(const QString& name);
    // Binary, byte for byte; writes beside localPath and replaces it only when complete.
    bool ftpGet(const QString& localPath, const QString& remoteName, const Progress& progress = {});
    // Empty when the query fails.
    QString ftpCurrentDir();
    bool ftpSetDir(const QString& directory);
    // nullptr on failure.
    std::unique_ptr<UploadStream> ftpOpenForUpload(const QString& remoteName, TransferFlag flag);
    // The entries of the current folder ("." and ".." never among them); nullopt when nothing
    // could be listed. An empty folder gives an empty list.
    std::optional<QList<RemoteEntry>> ftpList();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
