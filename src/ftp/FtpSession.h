#pragma once

#include "RemoteOperations.h"

#include <atomic>

// The one FTP connection. Lives on the session thread; every call blocks that thread only, and
// every wait ends within 100 ms once the cancel flag is set.
class FtpSession final : public RemoteOperations
{
public:
    FtpSession();
    ~FtpSession() override;
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // Every wait ends within 100 ms once the flag is set.
    void setCancelFlag(const std::atomic<bool>* cancelled) override;
    // Defaults: 20 s to connect, 60 s of silence from the server before giving up.
    void setTimeouts(int connectMilliseconds, int idleMilliseconds) override;
    // Every command, reply (as one line) and state change, the password masked; for the
    // transfer log's debug view and for tests that check what went over the wire.
    void setTranscript(std::function<void(const QString& line)> transcript) override;

    // Connects and logs in (OpenConnection); replaces any earlier connection. With TLS, a
    // certificate the system does not accept goes to the peer-identity question (see
    // setPeerIdentityQuestion()), unless it was accepted before for this host and port: by "trust
    // always", or in this session's last connect to it, whose re-connections ask only about
    // another certificate (with the warning that it changed).
    bool openConnection(const ConnectionSettings& settings) override;
    void forgetConnectDecision() override;
    // Takes the passive switch, from the next data connection on.
    void updateSettings(const ConnectionSettings& settings) override;
    bool connectedWith(const ConnectionSettings& settings) const override;
    void setPeerIdentityQuestion(PeerIdentityQuestion question) override;
    // How the last connect went as to encryption, and the TLS version.
    ConnectFacts connectFacts() const override;
    void closeConnection() override;
    bool isConnected() const override;
    // True when the connection answers a NOOP within answerMilliseconds; one that does not is
    // closed.
    bool isAlive(int answerMilliseconds) override;
    // What went wrong last, for logs and the benchmark driver; never holds the password.
    QString lastError() const override;
    // 4xx replies may pass, 5xx do not; a lost connection or time-out may pass.
    FailureKind lastFailure() const override;

    // The operation table: names are relative to the current folder, or absolute.
    bool rename(const QString& oldName, const QString& newName) override;
    bool createDir(const QString& name) override;
    bool removeDir(const QString& name) override;
    bool remove(const QString& name) override;
    // Binary, byte for byte; writes beside localPath and replaces it only when complete. Where the
    // server names the size (SIZE, asked when progress is wanted, or the 150 reply), a different
    // byte count fails the download.
    bool get(const QString& localPath, const QString& remoteName, const Progress& progress = {}) override;
    // REST offset, then RETR; a REST not answered 350 fetches the whole file.
    bool getFrom(DownloadFile& file, const QString& remoteName, qint64& offset, std::optional<qint64> size,
                 const Progress& progress = {}) override;
    // SIZE (in TYPE I) and MDTM, each where FEAT names it.
    RemoteFileFacts fileFacts(const QString& name) override;
    // Empty when the query fails.
    QString currentDir() override;
    bool setDir(const QString& directory) override;
    // nullptr on failure. The bytes go to the server as they are handed over: for an Ascii upload
    // the caller converts the line ends (AsciiUploadFilter::forType); the session marks the
    // transfer as text where its protocol knows that (FTP: TYPE A).
    std::unique_ptr<UploadStream> openForUpload(const QString& remoteName, TransferFlag flag) override;
    // REST offset + STOR where FEAT names REST STREAM, else APPE (STOR of the whole file where
    // the server does not know APPE). Text uploads always start over.
    std::unique_ptr<UploadStream> openForUploadFrom(const QString& remoteName, TransferFlag flag, qint64& offset) override;
    // The entries of the current folder ("." and ".." never among them); nullopt when nothing
    // could be listed, or more than a million entries or 64 MiB of text came. An empty folder
    // gives an empty list.
    std::optional<QList<RemoteEntry>> list() override;
    qsizetype unreadableLines() const override;
    bool offersEntryFacts() const override;
    std::optional<RemoteEntry> entryFacts(const QString& path) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
