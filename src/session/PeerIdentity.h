#pragma once

#include "CertificateInfo.h"

#include <QString>

#include <functional>
#include <variant>

// The user's answer to a server whose identity neither the system nor an earlier answer vouches
// for.
enum class TrustDecision {
    Always, // trust it now and on every later connect to this host and port (stored)
    Once,   // trust it for this connect and the re-connections made for its commands
    Cancel, // do not connect
};

// An SSH server's host key that the known-hosts file does not hold.
struct HostKeyInfo {
    QString host; // as typed in the connection bar
    quint16 port = 0;
    QString keyType;     // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...
    QString fingerprint; // "SHA256:" and the unpadded base64 of the key's digest, as ssh-keygen -l shows it
    // The known-hosts file holds another key of this type for the host, or marks this one revoked:
    // the key has changed since (a new server, or someone in between).
    bool changed = false;
    QString storedFingerprint; // that other key's fingerprint, where known

    bool operator==(const HostKeyInfo&) const = default;
};

// Who a server says it is, put to the user when nothing vouches for it: an X.509 certificate (FTP
// over TLS) or an SSH host key. Asked before anything of the log-in goes out. Plain values: the
// GUI builds its question from them.
class PeerIdentity
{
public:
    explicit PeerIdentity(CertificateInfo certificate)
        : m_identity(std::move(certificate))
    {
    }
    explicit PeerIdentity(HostKeyInfo hostKey)
        : m_identity(std::move(hostKey))
    {
    }

    // The one it is; the other is null.
    const CertificateInfo* certificate() const { return std::get_if<CertificateInfo>(&m_identity); }
    const HostKeyInfo* hostKey() const { return std::get_if<HostKeyInfo>(&m_identity); }
    // Another identity than the one trusted before for this host and port.
    bool changed() const { return certificate() ? certificate()->changed : hostKey()->changed; }

private:
    std::variant<CertificateInfo, HostKeyInfo> m_identity;
};

// Asks the user about a server's identity; runs on the session thread and waits for the answer.
using PeerIdentityQuestion = std::function<TrustDecision(const PeerIdentity&)>;
