#pragma once

#include <QByteArray>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

// A loopback server that speaks whatever its script says, for the cases no real FTP server
// produces: silence, endless lines, an echoed password, a reply out of turn. The script runs on
// its own thread with one accepted control connection; without a script the server listens and
// never accepts, so a client's connect succeeds and then nothing ever arrives.
class RawServer
{
public:
    class Connection
    {
    public:
        // On the control connection, or on a data connection's descriptor; false once the client
        // has gone or the server is stopping.
        bool send(const QByteArray& bytes, int descriptor = -1);
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
        int m_descriptor;
        int m_dataListener = -1;
        const std::atomic<bool>& m_stop;
        QByteArray m_buffer;
    };
    using Script = std::function<void(Connection&)>;

    explicit RawServer(Script script = {});
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    quint16 port() const { return m_port; }
    // The login every scripted server accepts: 220, USER answered 230 at once (no password
    // asked), FEAT offering SIZE.
    static bool greetAndLogin(Connection& connection);

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
