#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The certificates the user chose to trust always: one SHA-256 fingerprint per host and port, in
// a file in the user's config folder that only the user may read or write. One line per entry,
// "host port fingerprint" (the fingerprint in hex). The file is replaced as a whole: written to
// a temporary file and renamed, so a crash leaves the old list or the new one; a save reads and
// replaces the file under a lock file beside it, so instances saving at once keep each other's entries.
class TrustStore
{
public:
    // The file "trusted-certificates" in the application's config folder.
    TrustStore();
    explicit TrustStore(QString path);

    QString path() const { return m_path; }

    std::optional<QByteArray> find(const QString& host, quint16 port) const;
    // Adds the entry or replaces the one for host and port; false with error when the file
    // cannot be written.
    bool store(const QString& host, quint16 port, const QByteArray& sha256, QString& error) const;

    // The host as stored: blanks around it and IPv6 brackets removed, lower case.
    static QString hostKey(const QString& host);

private:
    QString m_path;
};
