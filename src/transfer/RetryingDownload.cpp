#include "RetryingDownload.h"

#include "DownloadFile.h"
#include "JobContext.h"
#include "ResumeTexts.h"
#include "TextCatalogue.h"

#include <QFile>
#include <QFileInfo>

RetryingDownload::RetryingDownload(JobContext& context, RetrySettings settings, TransferTries::Reconnect reconnect)
    : m_context(context)
    , m_session(context.session())
    , m_tries(context, settings, std::move(reconnect))
{
}

bool RetryingDownload::run(const QString& remoteName, const QString& localPath, const QString& shownName,
                           Record& record, Resume resume, const RemoteOperations::Progress& progress)
{
    m_resumable = resume == Resume::FromPartial;
    m_remoteName = remoteName;
    m_localPath = localPath;
    m_shownName = shownName;
    m_record = &record;
    m_progress = progress;
    const qint64 start = record.partialPath.isEmpty() ? 0 : QFileInfo(record.partialPath).size();
    const bool fetched = m_tries.run(shownName, start, [this](qint64& position) { return attempt(position); });
    if (!fetched && QFileInfo(record.partialPath).size() > 0 && QFileInfo(record.partialPath).isFile())
        m_context.appendHistory(getText("RESUME_PARTKEPT") + QLatin1Char(' ') + record.partialPath);
    return fetched;
}

bool RetryingDownload::attempt(qint64& position)
{
    Record& record = *m_record;
    DownloadFile file(m_localPath);
    qint64 offset = 0;
    if (!m_resumable) {
        m_tries.starting(0);
        if (!file.open())
            return m_tries.fail(FailureKind::Permanent, file.errorText());
        return m_session.getFrom(file, m_remoteName, offset, std::nullopt, m_progress);
    }
    const RemoteFileFacts now = m_session.fileFacts(m_remoteName);
    if (!m_session.isConnected())
        return false;
    if (!file.openPartial(record.partialPath))
        return m_tries.fail(FailureKind::Permanent, file.errorText());
    const bool sameRecord = !record.partialPath.isEmpty() && record.partialPath == file.partialPath();
    record.partialPath = file.partialPath();
    // The partial's own record first; the caller's where the file system keeps none.
    std::optional<RemoteFileFacts> recorded = file.origin();
    if (!recorded && sameRecord)
        recorded = record.remoteAtStart;
    const ResumeRule::Decision decision = ResumeRule::forDownload(file.size(), recorded, now);
    m_tries.starting(decision.offset);
    if (decision.why != ResumeRule::StartOver::No) {
        m_context.appendHistory(ResumeTexts::startOver(decision.why, m_shownName));
        if (!file.restart())
            return m_tries.fail(FailureKind::Permanent, file.errorText());
    }
    if (decision.offset == 0) {
        file.recordOrigin(now);
        record.remoteAtStart = now;
    }
    offset = decision.offset;
    const bool fetched = m_session.getFrom(file, m_remoteName, offset, now.size, m_progress);
    if (decision.offset > 0 && offset == 0)
        m_context.appendHistory(ResumeTexts::refused(m_shownName));
    if (fetched) {
        record.partialPath.clear();
        return true;
    }
    position = QFileInfo(record.partialPath).size();
    // An empty partial holds nothing to resume (the server refused the file, say).
    if (position == 0 && QFile::remove(record.partialPath))
        record.partialPath.clear();
    return false;
}
