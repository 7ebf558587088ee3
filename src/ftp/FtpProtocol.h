#pragma once

#include "ConnectFacts.h"
#include "ConnectionSettings.h"
#include "ControlConnection.h"
#include "DataConnection.h"
#include "Reply.h"
#include "WaitPolicy.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class FtpUploadStream;
class QSslCertificate;
class QSslError;

// The FTP sequencing below the operation table: login, commands, and the data connection dance
// (EPSV/PASV or EPRT/PORT, the transfer command, its preliminary and final replies). Every state
// change goes through setState(), which traces it.
class FtpProtocol
{
public:
    enum class State {
        Disconnected, // no control connection
        Connecting,   // looking up the server and opening the control connection
        LoggingIn,    // greeting, USER/PASS, FEAT and options
        Ready,        // logged in and idle: the next command may go
        Commanding,   // a command without data connection waits for its reply
        OpeningData,  // setting up the data connection and sending the transfer command
        Transferring, // data flows on the data connection
        Finishing,    // the data is through; waiting for the server's final reply
    };
    static QString stateName(State state);

    // A transfer under way. reply is the preliminary reply (150 ...), finalReply the 2xx/4xx/5xx
    // once it came, refusal the reply that refused the transfer command.
    struct Transfer {
        QString command; // for error texts, e.g. "RETR name"
        std::unique_ptr<DataConnection> data;
        Reply reply;
        std::optional<Reply> finalReply;
        std::optional<Reply> refusal;
        int preliminaryReplies = 0;
        bool restartRefused = false; // REST was not answered 350: the transfer starts at byte 0
    };
    using Sink = std::function<bool(const char* data, qint64 size, QString& error)>;
    using Transcript = std::function<void(const QString& line)>;
    // Judges the control connection's certificate; false (with why) ends the login before
    // anything is sent under TLS.
    using CertificateCheck = std::function<bool(const QSslCertificate& certificate, const QList<QSslError>& errors, QString& why)>;

    FtpProtocol();
    ~FtpProtocol();
    FtpProtocol(const FtpProtocol&) = delete;
    FtpProtocol& operator=(const FtpProtocol&) = delete;

    WaitPolicy& policy() { return m_policy; }
    void setTranscript(Transcript transcript) { m_transcript = std::move(transcript); }

    // Connects, reads the greeting, puts TLS under the connection (AUTH TLS, as encryption asks),
    // logs in, protects the data connections (PBSZ 0, PROT P), asks FEAT and switches UTF-8 on
    // when offered.
    bool login(const QString& host, quint16 port, const QString& user, const QString& password, bool passive,
               FtpSettings::Encryption encryption, const CertificateCheck& check);
    // Sends QUIT without waiting for the answer and closes everything.
    void disconnect();
    bool isConnected() const;
    // Passive or active from the next data connection on.
    void setPassive(bool passive) { m_passive = passive; }
    State state() const { return m_state; }
    bool isEncrypted() const { return m_encrypted; }
    TlsOutcome tlsOutcome() const { return m_tlsOutcome; }
    // "TLSv1.3" and the like, when encrypted.
    QString tlsVersion() const { return m_tlsVersion; }

    QString lastError() const { return m_lastError; }
    bool offersMlsd() const { return m_offersMlsd; }
    // The server refused MLSD as a command it does not know: LIST for the rest of the connection.
    void refuseMlsd() { m_offersMlsd = false; }
    // Whether this connection's MLSD has shown a link as a link (OS.unix=symlink or slink).
    bool mlsdShowsLinks() const { return m_mlsdShowsLinks; }
    void noteMlsdShowsLinks() { m_mlsdShowsLinks = true; }
    bool offers(QStringView feature) const;
    QStringList features() const { return m_features; }

    // Ready for a new command: connected, and no upload is open. Sets the error when not.
    bool ensureReady();
    // A name that would carry a line break or NUL onto the wire is refused before anything is
    // sent for it (a transfer sends TYPE and EPSV first).
    bool checkArgument(QStringView verb, const QString& argument);
    // Sends one command and returns the final reply (1xx replies are skipped); nullopt when the
    // connection failed or the line was refused. replyMilliseconds replaces the idle time-out as
    // the time the final reply may take.
    std::optional<Reply> command(QStringView verb, const QString& argument = {}, int replyMilliseconds = -1);
    // command() that must end in 2xx (or expected); sets the error with the reply otherwise.
    bool expectCompletion(QStringView verb, const QString& argument = {});
    bool setType(char type);

    // Opens the data connection and sends the transfer command, after REST restartAt when that is
    // above 0 (see transfer.restartRefused). false when refused (see transfer.refusal) or failed.
    bool startTransfer(QStringView verb, const QString& argument, Transfer& transfer, qint64 restartAt = 0);
    // Reads the data to its end into sink, then the final reply; true only when the data
    // connection ended normally and the server confirmed. namedSize is the size the server named
    // for this transfer, if any: a TLS data connection that ends without the server's
    // close_notify counts as complete only when exactly that many bytes came.
    bool receive(Transfer& transfer, const Sink& sink, std::optional<qint64> namedSize = std::nullopt);
    // Sends data during an upload.
    bool send(Transfer& transfer, const char* data, qint64 size);
    // Ends an upload: closes the data connection and waits for the final reply, which counts only
    // when it came after the end of the data went out.
    bool finishSending(Transfer& transfer);
    // Gives a transfer up: resets the data connection and reads the server's final reply.
    void abortTransfer(Transfer& transfer);

    // Sets the error; replyCode is that of the reply that refused, 0 where none did.
    bool fail(const QString& text, int replyCode = 0);
    // The reply code of the last failure; 0 when no reply refused (a lost connection, a local
    // error, a name refused before it went out).
    int failureCode() const { return m_failureCode; }
    // A reply as one line for logs and error texts, the password masked where the server echoes it.
    QString replyText(const Reply& reply) const;
    void setOpenUpload(FtpUploadStream* stream) { m_openUpload = stream; }

private:
    // How long a broken-off transfer waits for the server's word on it.
    static constexpr int abortReplyMilliseconds = 3000;

    void setState(State next);
    void note(const QString& line);
    QString masked(QString text) const;
    bool failTransport();
    void dropConnection();
    std::optional<Reply> sendLine(const QByteArray& line, const QString& shown, int replyMilliseconds = -1);
    std::optional<Reply> readPastPreliminary(std::optional<Reply> reply, const QDeadlineTimer& deadline);
    // Counts a preliminary reply against maxPreliminaryReplies; false (connection dropped) past it.
    bool countPreliminary(int& count);
    std::unique_ptr<DataConnection> openPassive();
    std::unique_ptr<DataConnection> openActive();
    // The TLS steps (FtpProtocolTls.cpp): AUTH TLS with the handshake and the certificate's
    // check, PBSZ/PROT after the login, and TLS on each transfer's data connection.
    bool negotiateTls(const QString& host, FtpSettings::Encryption encryption, const CertificateCheck& check);
    bool protectData();
    bool secureData(Transfer& transfer);
    bool readFinalReply(Transfer& transfer, int idleMilliseconds = -1);
    // A reply came on the control connection in the middle of a transfer; false ends it.
    bool takeMidTransferReply(Transfer& transfer);
    // An upload's final reply came before all of it was sent: breaks it off, and false.
    bool failEndedEarly(Transfer& transfer);

    WaitPolicy m_policy;
    ControlConnection m_control{m_policy};
    State m_state = State::Disconnected;
    Transcript m_transcript;
    QString m_lastError;
    int m_failureCode = 0;
    QString m_password; // only to mask it where a server echoes it
    QStringList m_features;
    bool m_offersMlsd = false;
    bool m_mlsdShowsLinks = false;
    bool m_passive = false;
    bool m_encrypted = false;
    TlsOutcome m_tlsOutcome = TlsOutcome::NotAsked;
    QString m_tlsVersion;
    QString m_peerName;         // the name the certificates must carry
    QByteArray m_certificate;   // SHA-256 of the control connection's certificate
    bool m_epsvRefused = false;
    bool m_eprtRefused = false;
    char m_type = 0;
    FtpUploadStream* m_openUpload = nullptr;
};
