#pragma once

#include "RemoteOperations.h"

#include <QByteArray>
#include <QMap>
#include <QStringList>

// A server in memory for the tests of the panes and their commands: folders, files and links
// by absolute path, a current folder, and the operations the panes' tests need on top (connect,
// change folder, list, create a folder, upload, download, rename a file as an upload puts it in
// place). The others are refused; the engine and the jobs are tested against real servers.
//
//   FakeRemoteServer server;
//   server.addFile("/pub/a.txt", "alpha");   // parents are made as needed
//   server.addFolder("/pub/empty");
class FakeRemoteServer : public RemoteOperations
{
public:
    FakeRemoteServer() { m_folders.append(QStringLiteral("/")); }

    void addFolder(const QString& path);
    void addFile(const QString& path, const QByteArray& content = {});
    void addLink(const QString& path, const QString& target);
    void removeEntry(const QString& path); // with everything below it
    bool exists(const QString& path) const;
    QByteArray content(const QString& path) const { return m_files.value(path); }
    // Every operation fails from now on, as when the server went away.
    void dropConnection() { m_connected = false; }
    QString currentFolder() const { return m_current; }
    // The operations called, "CWD /pub", "LIST", "TYPE A", "STOR a.txt", ..., in order.
    QStringList calls;

    bool openConnection(const ConnectionSettings& settings) override;
    void closeConnection() override { m_connected = false; }
    bool isConnected() const override { return m_connected; }
    bool isAlive(int) override { return m_connected; }
    QString lastError() const override { return QStringLiteral("550 No such directory."); }
    void setTranscript(std::function<void(const QString&)>) override {}
    void setCancelFlag(const std::atomic<bool>*) override {}
    void setTimeouts(int, int) override {}
    bool rename(const QString& oldName, const QString& newName) override;
    bool createDir(const QString& name) override;
    bool removeDir(const QString& name) override { return refuse("RMD", name); }
    bool remove(const QString& name) override { return refuse("DELE", name); }
    bool get(const QString& localPath, const QString& name, const Progress&) override;
    QString currentDir() override { return call(QStringLiteral("PWD")) ? m_current : QString(); }
    bool setDir(const QString& directory) override;
    std::unique_ptr<UploadStream> openForUpload(const QString& remoteName, TransferFlag flag) override;
    std::optional<QList<RemoteEntry>> list() override;

private:
    QString resolve(const QString& name) const;
    bool call(const QString& what);
    bool refuse(const char* command, const QString& name);

    QMap<QString, QByteArray> m_files; // absolute path -> content
    QMap<QString, QString> m_links;    // absolute path -> target
    QStringList m_folders;             // absolute paths, "/" included
    QString m_current = QStringLiteral("/");
    bool m_connected = false;
};
