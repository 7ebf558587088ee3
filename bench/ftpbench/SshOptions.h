#pragma once

#include "ConnectionSettings.h"
#include "PeerIdentity.h"

#include <QStringList>
#include <QTextStream>

#include <optional>

// The protocol options every ftpbench command takes:
//   --protocol ftp|sftp   the protocol to speak (default ftp)
//   --hostkey SHA256:...  SFTP: trust the host key with this fingerprint (as ssh-keygen -l prints
//                         it) for this run; without it, a key the known-hosts file does not hold is
//                         refused before anything of the log-in goes out
//   --key FILE            SFTP: log in with this private key file (after the agent's keys) instead
//                         of the default ones; PASS may then be empty
struct SshOptions {
    std::optional<QString> trustedHostKey;

    // Takes the option at the front of rest when it is one of these; false with problem set when
    // it is malformed. handled tells whether it was one of ours.
    bool take(QStringList& rest, ConnectionSettings& settings, bool& handled, QString& problem);
    // The answer about a host key: the one fingerprint trusted by --hostkey this time, else cancel;
    // either way the key is described on err.
    TrustDecision decide(const HostKeyInfo& key, QTextStream& err) const;

    static QString usage();
};
