#pragma once

#include "RemoteOperations.h"
#include "SessionFactory.h"

// The session the session thread holds, whatever the protocol: it passes every call to the
// session of the protocol it connected with last, and a connect that names another protocol
// closes that session and makes one for the new protocol from the factory. A session it makes
// gets what was set on the switch (cancel flag, time-outs, transcript, the questions).
// Jobs name one protocol in the settings they connect with, so no upload stream is open when the
// session changes.
class ProtocolSwitch final : public RemoteOperations
{
public:
    // Starts with a session for FTP, the default protocol.
    explicit ProtocolSwitch(SessionFactory factory);
    ~ProtocolSwitch() override;
    ProtocolSwitch(const ProtocolSwitch&) = delete;
    ProtocolSwitch& operator=(const ProtocolSwitch&) = delete;

    Protocol protocol() const { return m_protocol; }

    bool openConnection(const ConnectionSettings& settings) override;
    void setPeerIdentityQuestion(PeerIdentityQuestion question) override;
    void setInputQuestion(InputQuestion question) override;
    void forgetConnectDecision() override { m_session->forgetConnectDecision(); }
    void updateSettings(const ConnectionSettings& settings) override { m_session->updateSettings(settings); }
    // False for settings of another protocol: a re-connection then makes a new connection.
    bool connectedWith(const ConnectionSettings& settings) const override;
    ConnectFacts connectFacts() const override { return m_session->connectFacts(); }
    QString startFolder() const override { return m_session->startFolder(); }
    void closeConnection() override { m_session->closeConnection(); }
    bool isConnected() const override { return m_session->isConnected(); }
    bool isAlive(int answerMilliseconds) override { return m_session->isAlive(answerMilliseconds); }
    QString lastError() const override { return m_session->lastError(); }
    FailureKind lastFailure() const override { return m_session->lastFailure(); }
    void setTranscript(std::function<void(const QString& line)> transcript) override;
    void setCancelFlag(const std::atomic<bool>* cancelled) override;
    void setTimeouts(int connectMilliseconds, int idleMilliseconds) override;

    bool rename(const QString& oldName, const QString& newName) override { return m_session->rename(oldName, newName); }
    bool createDir(const QString& name) override { return m_session->createDir(name); }
    bool removeDir(const QString& name) override { return m_session->removeDir(name); }
    bool remove(const QString& name) override { return m_session->remove(name); }
    bool get(const QString& localPath, const QString& remoteName, const Progress& progress = {}) override
    {
        return m_session->get(localPath, remoteName, progress);
    }
    bool getFrom(DownloadFile& file, const QString& remoteName, qint64& offset, std::optional<qint64> size,
                 const Progress& progress = {}) override
    {
        return m_session->getFrom(file, remoteName, offset, size, progress);
    }
    RemoteFileFacts fileFacts(const QString& name) override { return m_session->fileFacts(name); }
    QString currentDir() override { return m_session->currentDir(); }
    bool setDir(const QString& directory) override { return m_session->setDir(directory); }
    std::unique_ptr<UploadStream> openForUpload(const QString& remoteName, TransferFlag flag) override
    {
        return m_session->openForUpload(remoteName, flag);
    }
    std::unique_ptr<UploadStream> openForUploadFrom(const QString& remoteName, TransferFlag flag, qint64& offset) override
    {
        return m_session->openForUploadFrom(remoteName, flag, offset);
    }
    bool hasTextTransfers() const override { return m_session->hasTextTransfers(); }
    std::optional<QList<RemoteEntry>> list() override { return m_session->list(); }
    qsizetype unreadableLines() const override { return m_session->unreadableLines(); }
    bool offersEntryFacts() const override { return m_session->offersEntryFacts(); }
    std::optional<RemoteEntry> entryFacts(const QString& path) override { return m_session->entryFacts(path); }

private:
    void make(Protocol protocol);

    SessionFactory m_factory;
    Protocol m_protocol = Protocol::Ftp;
    std::unique_ptr<RemoteOperations> m_session;
    const std::atomic<bool>* m_cancelled = nullptr;
    std::optional<std::pair<int, int>> m_timeouts;
    std::function<void(const QString&)> m_transcript;
    PeerIdentityQuestion m_question;
    InputQuestion m_inputQuestion;
};
