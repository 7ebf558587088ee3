#pragma once

#include "CertificateInfo.h"
#include "FtpOperations.h"

#include <atomic>

// The one FTP connection. Lives on the session thread; every call blocks that thread only, and
// every wait ends within 100 ms once the cancel flag is set.
class FtpSession final : public FtpOperations
{
public:
    FtpSession();
    ~FtpSession() override;
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    void setCancelFlag(const std::atomic<bool>* cancelled);
    // Defaults: 20 s to connect, 60 s of silence from the server before giving up.
    void setTimeouts(int connectMilliseconds, int idleMilliseconds);
    // Every command, reply (as one line) and state change, the password masked; for the
    // transfer log's debug view and for tests that check what went over the wire.
    void setTranscript(std::function<void(const QString& line)> transcript) override;

    // Connects and logs in (OpenConnection); replaces any earlier connection. With TLS, a
    // certificate the system does not accept goes to the certificate question (see
    // setCertificateQuestion()), unless it was accepted before for this host and port: by "trust
    // always", or in this session's last connect to it, whose re-connections ask only about
    // another certificate (with the warning that it changed).
    bool openConnection(const ConnectionSettings& settings) override;
    void forgetConnectDecision() override;
    void setPassive(bool passive) override;
    bool connectedWith(ConnectionSettings::Encryption encryption) const override;
    // Answers the certificate question; called on the session thread. Without one, a certificate
    // that needs the question is refused.
    void setCertificateQuestion(CertificateQuestion question);
    TlsOutcome tlsOutcome() const override;
    QString tlsVersion() const override;
    void closeConnection() override;
    bool isConnected() const override;
    // True when the connection answers a NOOP within answerMilliseconds; one that does not is
    // closed.
    bool answersNoop(int answerMilliseconds) override;
    // What went wrong last, for logs and the benchmark driver; never holds the password.
    QString lastError() const override;

    // The operation table: names are relative to the current folder, or absolute.
    bool ftpRename(const QString& oldName, const QString& newName) override;
    bool ftpCreateDir(const QString& name) override;
    bool ftpRemoveDir(const QString& name) override;
    bool ftpDelete(const QString& name) override;
    // Binary, byte for byte; writes beside localPath and replaces it only when complete. Where the
    // server names the size (SIZE, asked when progress is wanted, or the 150 reply), a different
    // byte count fails the download.
    bool ftpGet(const QString& localPath, const QString& remoteName, const Progress& progress = {}) override;
    // Empty when the query fails.
    QString ftpCurrentDir() override;
    bool ftpSetDir(const QString& directory) override;
    // nullptr on failure.
    std::unique_ptr<UploadStream> ftpOpenForUpload(const QString& remoteName, TransferFlag flag) override;
    // The entries of the current folder ("." and ".." never among them); nullopt when nothing
    // could be listed, or more than a million entries or 64 MiB of text came. An empty folder
    // gives an empty list.
    std::optional<QList<RemoteEntry>> ftpList() override;
    qsizetype unreadableLines() const override;
    bool offersEntryFacts() const override;
    std::optional<RemoteEntry> ftpEntryFacts(const QString& path) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
