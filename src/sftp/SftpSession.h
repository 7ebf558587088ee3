#pragma once

#include "RemoteOperations.h"

// The operation table over SFTP. Lives on the session thread; every call blocks that thread only,
// and every wait ends within about 50 ms once the cancel flag is set.
//
// SFTP has no current folder: the session keeps one, as the server's real path, and hands the
// server absolute paths. A connect starts in the folder the server logs the user into.
//
// The host key is checked against OpenSSH's known-hosts file. One it does not hold is put to the
// peer-identity question, before anything of the log-in goes out; the answer holds for the
// re-connections the commands make (until forgetConnectDecision()), which never ask: they go on
// silently with the key that connect accepted, and refuse any other.
//
// Log-in order: keys of a running ssh-agent, the key file of the settings or the default ones
// (a passphrase is asked through the input question, at the connect only; its re-connections use
// what was typed), the password, keyboard-interactive answered with the password. Transfers are
// byte for byte; there are no text transfers.
class SftpSession final : public RemoteOperations
{
public:
    // sshFolder holds known_hosts and the default key files; empty: ~/.ssh.
    explicit SftpSession(QString sshFolder = {});
    ~SftpSession() override;
    SftpSession(const SftpSession&) = delete;
    SftpSession& operator=(const SftpSession&) = delete;

    // Whether the keys of a running ssh-agent are tried (by default they are).
    void setUseAgent(bool useAgent);

    bool openConnection(const ConnectionSettings& settings) override;
    void setPeerIdentityQuestion(PeerIdentityQuestion question) override;
    void setInputQuestion(InputQuestion question) override;
    void forgetConnectDecision() override;
    bool connectedWith(const ConnectionSettings& settings) const override;
    ConnectFacts connectFacts() const override;
    QString startFolder() const override;
    void closeConnection() override;
    bool isConnected() const override;
    bool isAlive(int answerMilliseconds) override;
    QString lastError() const override;
    // A lost connection or a time-out may pass; what the server refused does not.
    FailureKind lastFailure() const override;
    void setTranscript(std::function<void(const QString& line)> transcript) override;
    void setCancelFlag(const std::atomic<bool>* cancelled) override;
    void setTimeouts(int connectMilliseconds, int idleMilliseconds) override;

    bool rename(const QString& oldName, const QString& newName) override;
    bool createDir(const QString& name) override;
    bool removeDir(const QString& name) override;
    bool remove(const QString& name) override;
    bool get(const QString& localPath, const QString& remoteName, const Progress& progress = {}) override;
    // Reads from offset on (the server's size needs no telling: it names it itself).
    bool getFrom(DownloadFile& file, const QString& remoteName, qint64& offset, std::optional<qint64> size,
                 const Progress& progress = {}) override;
    // stat: size and modification time (whole seconds).
    RemoteFileFacts fileFacts(const QString& name) override;
    // The kept folder, once the server still answers for it; empty when the connection is gone.
    QString currentDir() override;
    bool setDir(const QString& directory) override;
    // The flag is not looked at: SFTP sends every file byte for byte.
    std::unique_ptr<UploadStream> openForUpload(const QString& remoteName, TransferFlag flag) override;
    // Writes from offset on, keeping what the file holds before it.
    std::unique_ptr<UploadStream> openForUploadFrom(const QString& remoteName, TransferFlag flag, qint64& offset) override;
    bool hasTextTransfers() const override { return false; }
    // A link is a link (with its target), and a folder too where it leads to one.
    std::optional<QList<RemoteEntry>> list() override;
    // lstat: a link is named a link, never what it leads to.
    bool offersEntryFacts() const override;
    std::optional<RemoteEntry> entryFacts(const QString& path) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
