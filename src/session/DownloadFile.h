#pragma once

#include <QByteArray>
#include <QString>

// The local side of a download: bytes go to a file beside the target that nobody sees (an
// unnamed O_TMPFILE where the file system has them, else a hidden temporary name), and the
// target is replaced only by commit(), in one rename. A download that fails or is dropped leaves
// an existing target as it was. Pieces go one after another (write), or at their offsets
// (writeAt) where they arrive in any order, as replies to reads kept in flight do.
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
    bool write(const char* data, qint64 size);
    bool writeAt(qint64 offset, const char* data, qint64 size);
    bool commit();
    void discard();

    QString errorText() const { return m_error; }

private:
    bool fail(const QString& what, int code);

    QString m_target;
    QByteArray m_targetBytes;
    QByteArray m_directoryBytes;
    QByteArray m_temporaryName; // empty while the file has no name (O_TMPFILE)
    int m_descriptor = -1;
    QString m_error;
};
