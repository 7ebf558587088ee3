#pragma once

#include "SftpTypes.h"

#include <QString>
#include <QStringList>

#include <optional>

// OpenSSH's known-hosts file, so that a host the user reached with ssh is known here too, and
// the other way round. Lines are "[marker] patterns keytype base64 [comment]"; patterns are
// comma-separated names with * and ? wildcards and !negations, or one hashed name
// ("|1|salt|hmac", HMAC-SHA1 of the name keyed with the salt). A host on port 22 is named
// "host", on any other port "[host]:port". @cert-authority lines are not used; a key marked
// @revoked counts as changed.
class KnownHosts
{
public:
    explicit KnownHosts(QString path);

    QString path() const { return m_path; }

    KnownHostState check(const QString& host, quint16 port, const SshHostKey& key) const;
    // The key types the file holds for the host, so that the key exchange can ask for those first
    // (a server that offered another type would otherwise pass as merely unknown).
    QStringList knownTypes(const QString& host, quint16 port) const;
    // The key of type the file holds for the host (the first, where it holds several).
    std::optional<SshHostKey> storedKey(const QString& host, quint16 port, const QString& type) const;
    // Adds a line for the host and key. Lines that name only this host with another key of the
    // same type are dropped. The file is written to a temporary file beside it and renamed.
    SftpStatus add(const QString& host, quint16 port, const SshHostKey& key) const;

    // The name lines carry for host and port: lower case, "[host]:port" unless the port is 22.
    static QString hostName(const QString& host, quint16 port);

private:
    QString m_path;
};
