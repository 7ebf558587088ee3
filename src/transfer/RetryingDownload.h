#pragma once

#include "RemoteOperations.h"
#include "ResumeRule.h"
#include "TransferTries.h"

#include <QString>

class JobContext;

// One file's download with automatic retry and resume. A resumable one writes to a visible partial
// file beside the target, which replaces the target only when complete and of the size the server
// named. A retry goes on from the partial's end (FTP: REST) only while the remote file is the one
// it began from: same size and same modification time as recorded. Otherwise (a changed file, a
// server that cannot tell size or time, a server that will not resume) it starts over from byte
// 0, and a history line says why. A download that fails or is stopped leaves its partial for a
// later try. Small files are not worth the two questions to the server that a resume needs for
// every file: they write as RemoteOperations::get() does, and a retry starts over.
class RetryingDownload
{
public:
    // What a later try, also of a later run, needs to resume: the partial file and the remote
    // file's facts as they were when the partial began.
    struct Record {
        QString partialPath;
        RemoteFileFacts remoteAtStart;
    };

    enum class Resume { FromPartial, Never };
    // The size from which a download is worth resuming: a smaller file starts over.
    static constexpr qint64 resumableSize = 1024 * 1024;

    RetryingDownload(JobContext& context, RetrySettings settings, TransferTries::Reconnect reconnect);

    // remoteName from the session's current folder into localPath; record in and out. shownName
    // names the file in the history lines.
    bool run(const QString& remoteName, const QString& localPath, const QString& shownName, Record& record,
             Resume resume, const RemoteOperations::Progress& progress = {});

private:
    bool attempt(qint64& position);

    JobContext& m_context;
    RemoteOperations& m_session;
    TransferTries m_tries;
    QString m_remoteName;
    QString m_localPath;
    QString m_shownName;
    Record* m_record = nullptr;
    RemoteOperations::Progress m_progress;
    bool m_resumable = true;
};
