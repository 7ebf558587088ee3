#pragma once

#include <QByteArray>
#include <QString>

// The local side of a download, as the FTP engine keeps it: bytes go to a file beside the target
// that nobody sees (an unnamed O_TMPFILE where the file system has them, else a hidden temporary
// name), and the target is replaced only by commit(), in one rename. A download that fails or is
// dropped leaves an existing target as it was. Blocks are written at their offsets, as replies
// to reads in flight may come in any order.
class SftpTargetFile
{
public:
    explicit SftpTargetFile(QString targetPath);
    ~SftpTargetFile(); // discards what was not committed
    SftpTargetFile(const SftpTargetFile&) = delete;
    SftpTargetFile& operator=(const SftpTargetFile&) = delete;

    bool open();
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
