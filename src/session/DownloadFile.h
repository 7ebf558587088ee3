#pragma once

#include "RemoteFileFacts.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The local side of a download: bytes go to a file beside the target that nobody sees (an
// unnamed O_TMPFILE where the file system has them, else a hidden temporary name), and the
// target is replaced only by commit(), in one rename. A download that fails or is dropped leaves
// an existing target as it was. Pieces go one after another, so that a partial file (see below)
// always holds a beginning of the remote file.
//
// openPartial() writes to a visible partial file instead, which stays where a download fails,
// stops or is dropped, so that a later try can go on from its end; commit() renames it onto the
// target just the same.
//
// Unlike QSaveFile, commit() does not fsync: forcing a gigabyte to the disk before the rename
// halves the download rate, and a download is not more precious than the server's copy.
class DownloadFile
{
public:
    explicit DownloadFile(QString targetPath);
    ~DownloadFile(); // discards what was not committed
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    bool open();
    // The partial file beside the target: preferred (what an earlier try wrote) when it is still
    // there, else "<name>.part", else "<name>.1.part" and so on. A name is taken while another
    // download writes it (a lock tells), and when a file of that name is there that no download
    // left (it carries no origin). Where partial names do not fit the file system's limit, the
    // download writes as open() does.
    bool openPartial(const QString& preferred = {});
    // Empty unless openPartial() made or found one.
    QString partialPath() const;
    // The bytes in the file: where a resume of a partial starts.
    qint64 size() const;
    // Empties the file: the download starts again from its first byte.
    bool restart();
    // The remote file as it was when the partial began, kept with the file (an extended
    // attribute, where the file system has them), so that a later run can check it too.
    void recordOrigin(const RemoteFileFacts& facts);
    std::optional<RemoteFileFacts> origin() const;

    bool write(const char* data, qint64 size);
    bool commit();
    // Drops what was not committed; a partial file stays for a resume.
    void discard();

    QString targetPath() const { return m_target; }
    QString errorText() const { return m_error; }

private:
    bool fail(const QString& what, int code);
    void keepTargetMode();

    QString m_target;
    QByteArray m_targetBytes;
    QByteArray m_directoryBytes;
    QByteArray m_temporaryName; // empty while the file has no name (O_TMPFILE)
    bool m_partial = false;     // m_temporaryName is a partial file that outlives a failure
    int m_descriptor = -1;
    QString m_error;
};
