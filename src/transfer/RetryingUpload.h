#pragma once

#include "RemoteFileFacts.h"
#include "TransferFlag.h"
#include "TransferTries.h"

#include <QString>

#include <functional>

class JobContext;
class QFile;
class RemoteOperations;
class UploadStream;

// One file's upload with automatic retry and resume, which never damages the file it replaces.
// The bytes go to a temporary name in the target folder, which is renamed onto the target only
// once the server confirmed the complete file; where the server will not rename onto an existing
// name, the old file steps aside first and is deleted only once the new one stands in its place
// (the history says so). A failed or stopped upload leaves the old file as it was and keeps its
// temporary file: a retry goes on from the size the server reports for it (FTP: REST + STOR where
// FEAT names REST STREAM, else APPE), as long as the local file is unchanged; a text upload
// always starts over. Where the server renames nothing at all (an upload-only folder), the file is
// sent once more under its own name, as uploads went before they had temporary names, and so are
// the next ones to that server (ServerHabits).
class RetryingUpload
{
public:
    // What a later try needs to resume: the temporary name on the server, and the local file's
    // size and time when the upload began.
    struct Record {
        QString temporaryName;
        RemoteFileFacts localAtStart;
    };
    // What the uploads to one server learn of it, for the next ones.
    struct ServerHabits {
        bool renamesRefused = false;
    };
    // The bytes of the file in place on the server (as far as this side knows) and its size.
    using Progress = std::function<void(qint64 position, qint64 size)>;

    static constexpr qint64 blockSize = 256 * 1024;

    RetryingUpload(JobContext& context, RetrySettings settings, TransferTries::Reconnect reconnect);

    // Sends file (open for reading) as remoteName into the session's current folder; record in and
    // out. shownName names the file in the history lines.
    bool run(QFile& file, const QString& remoteName, TransferFlag flag, const QString& shownName, Record& record,
             ServerHabits& habits, const Progress& progress = {});

    // The temporary name beside remoteName that an upload of it writes to.
    static QString temporaryNameFor(const QString& remoteName);

private:
    bool attempt(qint64& position);
    bool send(UploadStream& stream, qint64& position);
    // The complete temporary file onto the target.
    bool putInPlace(qint64& position);
    // The whole file under its own name, without a temporary one.
    bool sendDirect(qint64& position);
    // A file stands where a server that renames nothing would have the upload overwrite it.
    bool keepTheOldFile();

    JobContext& m_context;
    RemoteOperations& m_session;
    TransferTries m_tries;
    QFile* m_file = nullptr;
    QString m_remoteName;
    TransferFlag m_flag = TransferFlag::Binary;
    QString m_shownName;
    Record* m_record = nullptr;
    ServerHabits* m_habits = nullptr;
    Progress m_progress;
    bool m_firstTry = true;
    bool m_stored = false;    // a store into the temporary name began
    bool m_startOver = false; // the server holds something else than this side sent
};
