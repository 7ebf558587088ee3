#pragma once

#include "ConnectFacts.h"
#include "ConnectionSettings.h"
#include "FailureKind.h"
#include "PeerIdentity.h"
#include "PromptTypes.h"
#include "RemoteEntry.h"
#include "RemoteFileFacts.h"
#include "TransferFlag.h"
#include "UploadStream.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// The most entries a walk over a folder tree collects (download, remote delete), as one listing
// holds at most: a server that invents folders must not make the client hold more.
inline constexpr qsizetype walkEntryLimit = 1'000'000;

class DownloadFile;

// The operation table every job works through, whatever the protocol: the session of the
// protocol connected with (behind the session thread's ProtocolSwitch), or a stand-in server in
// the tests of the panes. Names are relative to the current folder, or absolute.
class RemoteOperations
{
public:
    using Progress = std::function<void(qint64 done, qint64 total)>;

    virtual ~RemoteOperations() = default;

    // Connects and logs in (OpenConnection); replaces any earlier connection.
    virtual bool openConnection(const ConnectionSettings& settings) = 0;
    // Answers the question about a server's identity that nothing vouches for (a certificate, a host
    // key), asked while a connect runs and before anything of the log-in goes out; called on the
    // session's thread. Without one, such a server is refused.
    virtual void setPeerIdentityQuestion(PeerIdentityQuestion) {}
    // Asks the user for what a log-in needs besides the connection bar's values (SSH: the
    // passphrase of a key file, in a masked input box); called on the session's thread, and waits
    // for the answer. Without one, nothing is asked.
    using InputQuestion = std::function<InputAnswer(const InputRequest&)>;
    virtual void setInputQuestion(InputQuestion) {}
    // Starts a new connect: what the last connect settled for its re-connections (an identity
    // trusted this time, FTP's encryption) no longer holds. The connect command calls it;
    // re-connections do not.
    virtual void forgetConnectDecision() {}
    // The connection bar's values of the moment a job was started: what can change on the
    // connection there is holds from the next command on (FTP: passive or active data
    // connections); the rest waits for the next openConnection(). Each protocol takes what
    // concerns it.
    virtual void updateSettings(const ConnectionSettings&) {}
    // Whether the connection there is was made with the connect-time choices of settings (FTP:
    // the encryption): a re-connection keeps a live connection only then, so that a changed
    // choice holds from the next re-connection.
    virtual bool connectedWith(const ConnectionSettings&) const { return true; }
    // What the last openConnection() settled, for the history (FTP: the encryption).
    virtual ConnectFacts connectFacts() const { return {}; }
    // The folder a connect leaves the user in: "/" where the server shows each user a root of
    // their own (FTP); the log-in folder where "/" is the whole machine's (SFTP).
    virtual QString startFolder() const { return QStringLiteral("/"); }
    virtual void closeConnection() = 0;
    virtual bool isConnected() const = 0;
    // True when the connection answers within answerMilliseconds (FTP: a NOOP); one that does not
    // is closed.
    virtual bool isAlive(int answerMilliseconds) = 0;
    // What went wrong last, for logs and the benchmark driver; never holds the password.
    virtual QString lastError() const = 0;
    // Whether trying the last failed operation again may help. Without a finer answer: a lost
    // connection may, anything else may not.
    virtual FailureKind lastFailure() const
    {
        return isConnected() ? FailureKind::Permanent : FailureKind::ConnectionLost;
    }
    // Every command, reply and state change, the password masked (transfer log, tests).
    virtual void setTranscript(std::function<void(const QString& line)> transcript) = 0;
    // Every wait looks at this flag (may be null) and ends soon after it is set: the session
    // thread points it at the running job's stop flag, and between jobs at the program's closing.
    virtual void setCancelFlag(const std::atomic<bool>* cancelled) = 0;
    // How long a connect may take, and how long the server may stay silent, before giving up.
    virtual void setTimeouts(int connectMilliseconds, int idleMilliseconds) = 0;

    virtual bool rename(const QString& oldName, const QString& newName) = 0;
    virtual bool createDir(const QString& name) = 0;
    virtual bool removeDir(const QString& name) = 0;
    virtual bool remove(const QString& name) = 0;
    // Binary, byte for byte; writes beside localPath and replaces it only when complete. Where the
    // server names the size, a different byte count fails the download.
    virtual bool get(const QString& localPath, const QString& remoteName, const Progress& progress = {}) = 0;
    // The resumable download: remoteName into file (open, holding offset bytes already) from
    // byte offset on, and file committed when complete (FTP: REST offset, then RETR). size is the
    // remote file's size where known; with it, a different total fails the download. A server
    // that will not start at offset sends the whole file instead: file is emptied first, and
    // offset becomes 0. By default the whole file, through get().
    virtual bool getFrom(DownloadFile& file, const QString& remoteName, qint64& offset, std::optional<qint64> size,
                         const Progress& progress = {});
    // Size and modification time of a file, each unset where the server cannot tell (FTP: SIZE
    // and MDTM, where FEAT names them).
    virtual RemoteFileFacts fileFacts(const QString& /*name*/) { return {}; }
    // Empty when the query fails.
    virtual QString currentDir() = 0;
    virtual bool setDir(const QString& directory) = 0;
    // nullptr on failure. The bytes go to the server as they are handed over: for an Ascii upload
    // the caller converts the line ends (AsciiUploadFilter::forType); the session marks the
    // transfer as text where its protocol knows that (FTP: TYPE A).
    virtual std::unique_ptr<UploadStream> openForUpload(const QString& remoteName, TransferFlag flag) = 0;
    // openForUpload() that goes on after the offset bytes remoteName holds (FTP: REST and STOR
    // where FEAT names REST STREAM, else APPE). A server that will not resume gets the whole file:
    // offset becomes 0 and the caller sends from the start. By default always the whole file.
    virtual std::unique_ptr<UploadStream> openForUploadFrom(const QString& remoteName, TransferFlag flag, qint64& offset)
    {
        offset = 0;
        return openForUpload(remoteName, flag);
    }
    // Whether the protocol knows text transfers (FTP: TYPE A). Where it does not, every upload goes
    // byte for byte whatever the transfer type: no line end is converted.
    virtual bool hasTextTransfers() const { return true; }
    // The entries of the current folder ("." and ".." never among them); nullopt when nothing
    // could be listed, or more than a million entries or 64 MiB of text came. An empty folder
    // gives an empty list.
    virtual std::optional<QList<RemoteEntry>> list() = 0;
    // How many lines of the last list() no parser could read; they are not among its entries.
    virtual qsizetype unreadableLines() const { return 0; }
    // Whether entryFacts() can ask the server (FTP: it offers MLST).
    virtual bool offersEntryFacts() const { return false; }
    // What the server says of one entry (FTP: MLST): name holds the path as the server answered it.
    // nullopt when the server refuses, or answers nothing readable.
    virtual std::optional<RemoteEntry> entryFacts(const QString& /*path*/) { return std::nullopt; }
};
