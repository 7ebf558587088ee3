#pragma once

#include <QByteArray>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QSslSocket;
class QThread;

// A loopback server that speaks whatever its script says, for the cases no real FTP server
// produces: silence, endless lines, an echoed password, a reply out of turn, a TLS connection cut
// as a man in the middle would. The script runs on its own thread with one accepted control
// connection; without a script the server listens and never accepts, so a client's connect
// succeeds and then nothing ever arrives.
class RawServer
{
public:
    class Connection
    {
    public:
        ~Connection();
        // On the control connection, or on a data connection's descriptor (through TLS once
        // startTls() put it there); false once the client has gone or the server is stopping.
        bool send(const QByteArray& bytes, int descriptor = -1);
        // TLS as the server, with a self-signed certificate for localhost, on the control connection
        // (after the script's 234) or on a data connection; false when the handshake fails.
        bool startTls(int descriptor = -1);
        // Reads a data connection until it ends, or until at least limit bytes came.
        void receiveData(int descriptor, qint64 limit = -1);
        // Ends a data connection: over TLS with close_notify, or cut like a man in the middle
        // would, without it.
        void closeData(int descriptor, bool closeNotify = true);
        // One line without its CR LF; nullopt when the client has gone.
        std::optional<QByteArray> readLine();
        // Reads command lines until one starts with verb; answers the others with "200 ok".
        std::optional<QByteArray> expect(const QByteArray& verb);
        // Swallows whatever comes until the client has gone, so the connection stays open as long
        // as the client wants it.
        void readUntilGone();
        // A data listener on 127.0.0.1; its port.
        quint16 listenForData();
        // Waits for EPSV and answers it with a data listener's port.
        bool offerExtendedPassive();
        // Takes the client's data connection; -1 when it does not come.
        int acceptData();

    private:
        friend class RawServer;
        Connection(int descriptor, const std::atomic<bool>& stop) : m_descriptor(descriptor), m_stop(stop) {}
        // What came on descriptor: empty at its end; nullopt when the server is stopping.
        std::optional<QByteArray> receive(int descriptor);
        int m_descriptor;
        int m_dataListener = -1;
        const std::atomic<bool>& m_stop;
        QByteArray m_buffer;
        std::map<int, std::unique_ptr<QSslSocket>> m_tls; // by the descriptor it runs on
    };
    using Script = std::function<void(Connection&)>;

    explicit RawServer(Script script = {});
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    quint16 port() const { return m_port; }
    // The login every scripted server accepts: 220, USER answered 230 at once (no password
    // asked), FEAT offering SIZE. With tls, AUTH TLS comes first and is agreed to.
    static bool greetAndLogin(Connection& connection, bool tls = false);

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::unique_ptr<QThread> m_thread; // a QThread, for the sockets of TLS
};
