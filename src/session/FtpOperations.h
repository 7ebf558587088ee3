#pragma once

#include "RemoteEntry.h"

#include <QList>
#include <QString>

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

// The most entries a walk over a folder tree collects (download, remote delete), as one listing
// holds at most: a server that invents folders must not make the client hold more.
inline constexpr qsizetype walkEntryLimit = 1'000'000;

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

// The operation table every job works through: the one FTP session, or a stand-in server in the
// tests of the panes. Names are relative to the current folder, or absolute.
class FtpOperations
{
public:
    using Progress = std::function<void(qint64 done, qint64 total)>;

    virtual ~FtpOperations() = default;

    // Connects and logs in (OpenConnection); replaces any earlier connection.
    virtual bool openConnection(const ConnectionSettings& settings) = 0;
    // Starts a new connect: a certificate accepted once, and the encryption of the last connect,
    // no longer hold. The connect command calls it; re-connections do not.
    virtual void forgetConnectDecision() {}
    // Passive (EPSV, PASV) or active (EPRT, PORT) data connections from the next one on, on the
    // connection there is; openConnection() sets it from its settings.
    virtual void setPassive(bool) {}
    // Whether the connection was made with this encryption choice: a re-connection keeps a live
    // connection only then, so that a changed choice holds from the next re-connection.
    virtual bool connectedWith(ConnectionSettings::Encryption) const { return true; }
    // How the last openConnection() went as to encryption, and the TLS version ("TLSv1.3").
    virtual TlsOutcome tlsOutcome() const { return TlsOutcome::NotAsked; }
    virtual QString tlsVersion() const { return {}; }
    virtual void closeConnection() = 0;
    virtual bool isConnected() const = 0;
    // True when the connection answers a NOOP within answerMilliseconds; one that does not is
    // closed.
    virtual bool answersNoop(int answerMilliseconds) = 0;
    // What went wrong last, for logs and the benchmark driver; never holds the password.
    virtual QString lastError() const = 0;
    // Every command, reply and state change, the password masked (transfer log, tests).
    virtual void setTranscript(std::function<void(const QString& line)> transcript) = 0;

    virtual bool ftpRename(const QString& oldName, const QString& newName) = 0;
    virtual bool ftpCreateDir(const QString& name) = 0;
    virtual bool ftpRemoveDir(const QString& name) = 0;
    virtual bool ftpDelete(const QString& name) = 0;
    // Binary, byte for byte; writes beside localPath and replaces it only when complete. Where the
    // server names the size, a different byte count fails the download.
    virtual bool ftpGet(const QString& localPath, const QString& remoteName, const Progress& progress = {}) = 0;
    // Empty when the query fails.
    virtual QString ftpCurrentDir() = 0;
    virtual bool ftpSetDir(const QString& directory) = 0;
    // nullptr on failure.
    virtual std::unique_ptr<UploadStream> ftpOpenForUpload(const QString& remoteName, TransferFlag flag) = 0;
    // The entries of the current folder ("." and ".." never among them); nullopt when nothing
    // could be listed, or more than a million entries or 64 MiB of text came. An empty folder
    // gives an empty list.
    virtual std::optional<QList<RemoteEntry>> ftpList() = 0;
    // How many lines of the last ftpList() no parser could read; they are not among its entries.
    virtual qsizetype unreadableLines() const { return 0; }
    // Whether ftpEntryFacts() can ask the server (it offers MLST).
    virtual bool offersEntryFacts() const { return false; }
    // What the server says of one entry (MLST): name holds the path as the server answered it.
    // nullopt when the server refuses, or answers nothing readable.
    virtual std::optional<RemoteEntry> ftpEntryFacts(const QString& /*path*/) { return std::nullopt; }
};
