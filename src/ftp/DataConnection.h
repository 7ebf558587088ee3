#pragma once

#include "WaitPolicy.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <memory>

class ControlConnection;
class TlsTransport;
class Transport;

// One data connection, passive (we connect to the server) or active (the server connects to a
// socket we listen on). Plain, the bytes go straight through the socket descriptor with
// recv/send (PlainTransport): QTcpSocket's extra buffer copy costs a large share of the rate on a
// fast link. startTls() puts TLS under it.
//
// While data flows, the control connection may speak up (a refusal, or the final reply before
// the last bytes have been read); waits also watch it and return ControlReady so the caller can
// read that reply.
class DataConnection
{
public:
    enum class Event {
        Done,         // the call did what it was asked
        EndOfData,    // the server closed the data connection
        ControlReady, // a reply waits on the control connection
        TimedOut,
        Cancelled,
        Failed,
    };

    explicit DataConnection(const WaitPolicy& policy);
    ~DataConnection();
    DataConnection(const DataConnection&) = delete;
    DataConnection& operator=(const DataConnection&) = delete;

    // Passive: connect to the address the server gave.
    bool connectTo(const QHostAddress& address, quint16 port);
    // Active: listen on a free port of localAddress (the control connection's own address).
    bool listen(const QHostAddress& localAddress);
    QHostAddress listenAddress() const { return m_listenAddress; }
    quint16 listenPort() const { return m_listenPort; }
    // Active: take the server's connection. Connections from any address other than
    // allowedPeer are closed at once and waiting goes on.
    Event accept(const QHostAddress& allowedPeer, ControlConnection* control);

    // TLS as the client, resuming session (the control connection's); waits for the handshake,
    // within the connect time-out. On ControlReady the caller reads the reply and calls again.
    Event startTls(const QString& peerName, const QByteArray& session, ControlConnection* control);
    // The TLS layer once startTls() began, else nullptr.
    const TlsTransport* tls() const { return m_tls; }

    // Up to capacity bytes; 0 with EndOfData at the end; -1 with the event otherwise.
    qint64 read(char* buffer, qint64 capacity, ControlConnection* control, Event& event);
    // Sends data[written..size), advancing written; false with the event when it stops early.
    bool writeAll(const char* data, qint64 size, qint64& written, ControlConnection* control, Event& event);
    // Tells the server that no more data comes (end of an upload: what TLS still holds goes out
    // first) and closes. On ControlReady the caller reads the reply and calls again; a reply that
    // came before outputEnded() cannot be the server's word on the whole upload.
    Event finish(ControlConnection* control);
    bool outputEnded() const { return m_outputEnded; }
    // After EndOfData: the end is the server's own. Plain TCP has nothing better than its end; over
    // TLS only the server's close_notify tells a complete transfer from one cut off on the way.
    bool endConfirmed() const;
    // Drops the connection so that the server sees the transfer fail rather than end.
    void abort();
    bool isOpen() const { return m_transport != nullptr; }

    QString errorText() const { return m_error; }

private:
    Event waitFor(short events, ControlConnection* control, int timeoutMilliseconds);
    void closeListener();

    const WaitPolicy& m_policy;
    std::unique_ptr<Transport> m_transport;
    TlsTransport* m_tls = nullptr; // m_transport, when it is TLS
    int m_listener = -1;
    QHostAddress m_listenAddress;
    quint16 m_listenPort = 0;
    bool m_outputEnded = false;
    QString m_error;
};
