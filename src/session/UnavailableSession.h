#pragma once

#include "RemoteOperations.h"

// A session for a protocol this build cannot speak: every connect fails with the reason given,
// and without a connection every operation fails.
class UnavailableSession final : public RemoteOperations
{
public:
    explicit UnavailableSession(QString reason)
        : m_reason(std::move(reason))
    {
    }

    bool openConnection(const ConnectionSettings&) override { return false; }
    void closeConnection() override {}
    bool isConnected() const override { return false; }
    bool isAlive(int) override { return false; }
    QString lastError() const override { return m_reason; }
    void setTranscript(std::function<void(const QString&)>) override {}
    void setCancelFlag(const std::atomic<bool>*) override {}
    void setTimeouts(int, int) override {}

    bool rename(const QString&, const QString&) override { return false; }
    bool createDir(const QString&) override { return false; }
    bool removeDir(const QString&) override { return false; }
    bool remove(const QString&) override { return false; }
    bool get(const QString&, const QString&, const Progress&) override { return false; }
    QString currentDir() override { return {}; }
    bool setDir(const QString&) override { return false; }
    std::unique_ptr<UploadStream> openForUpload(const QString&, TransferFlag) override { return nullptr; }
    std::optional<QList<RemoteEntry>> list() override { return std::nullopt; }

private:
    QString m_reason;
};
