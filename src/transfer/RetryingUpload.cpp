#include "RetryingUpload.h"

#include "AsciiUploadFilter.h"
#include "JobContext.h"
#include "RemoteOperations.h"
#include "ResumeRule.h"
#include "ResumeTexts.h"
#include "TextCatalogue.h"

#include <QFile>
#include <QRandomGenerator>

#include <sys/stat.h>

namespace {

// The longest name most servers' file systems take, in bytes.
constexpr qsizetype maxNameBytes = 255;

RemoteFileFacts localFacts(const QFile& file)
{
    RemoteFileFacts facts;
    struct stat status {};
    if (::fstat(file.handle(), &status) == 0) {
        facts.size = status.st_size;
        facts.modified = QDateTime::fromMSecsSinceEpoch(
            qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1'000'000, Qt::UTC);
    }
    return facts;
}

// A name of the same folder that no other file is likely to have.
QString besideName(const QString& remoteName, const char* suffix)
{
    const qsizetype cut = remoteName.lastIndexOf(QLatin1Char('/')) + 1;
    const QString folder = remoteName.left(cut);
    const QString name = remoteName.mid(cut);
    const QString mark = QLatin1Char('.') + QString::number(QRandomGenerator::global()->generate() % 0x7fffffff, 36)
        + QLatin1String(suffix);
    // A name that would grow past the limit gives way to a hidden one of the mark alone.
    if (name.toUtf8().size() + mark.toUtf8().size() > maxNameBytes)
        return folder + mark;
    return folder + name + mark;
}

} // namespace

RetryingUpload::RetryingUpload(JobContext& context, RetrySettings settings, TransferTries::Reconnect reconnect)
    : m_context(context)
    , m_session(context.session())
    , m_tries(context, settings, std::move(reconnect))
{
}

QString RetryingUpload::temporaryNameFor(const QString& remoteName)
{
    return besideName(remoteName, ".part");
}

bool RetryingUpload::run(QFile& file, const QString& remoteName, TransferFlag flag, const QString& shownName,
                         Record& record, ServerHabits& habits, const Progress& progress)
{
    m_habits = &habits;
    m_file = &file;
    m_remoteName = remoteName;
    m_flag = flag;
    m_shownName = shownName;
    m_record = &record;
    m_progress = progress;
    m_firstTry = true;
    m_stored = !record.temporaryName.isEmpty();
    const bool sent = m_tries.run(shownName, 0, [this](qint64& position) { return attempt(position); });
    // Kept for a resume, never removed: where it is not there, removing it would touch nothing of ours.
    if (!sent && m_stored && !record.temporaryName.isEmpty())
        m_context.appendHistory(getText("RESUME_TEMPKEPT") + QLatin1Char(' ') + record.temporaryName);
    return sent;
}

bool RetryingUpload::attempt(qint64& position)
{
    Record& record = *m_record;
    if (m_habits->renamesRefused)
        return sendDirect(position);
    const RemoteFileFacts localNow = localFacts(*m_file);
    ResumeRule::Decision decision;
    if (record.temporaryName.isEmpty()) {
        record.temporaryName = temporaryNameFor(m_remoteName);
        record.localAtStart = localNow;
    } else {
        const bool text = m_flag == TransferFlag::Ascii;
        std::optional<qint64> held;
        if (!text && !m_startOver) {
            held = m_session.fileFacts(record.temporaryName).size;
            if (!m_session.isConnected())
                return false;
        }
        decision = ResumeRule::forUpload(text, record.localAtStart, localNow, held);
        if (m_startOver)
            decision = {0, ResumeRule::StartOver::Changed};
        m_tries.starting(decision.offset);
        // Nothing to say where a try of this run sent nothing yet.
        if (decision.why != ResumeRule::StartOver::No && (position > 0 || m_firstTry))
            m_context.appendHistory(ResumeTexts::startOver(decision.why, m_shownName));
        record.localAtStart = localNow;
        m_startOver = false;
    }
    m_tries.starting(0);
    m_firstTry = false;
    qint64 offset = decision.offset;
    std::unique_ptr<UploadStream> stream
        = AsciiUploadFilter::forType(m_session.openForUploadFrom(record.temporaryName, m_flag, offset), m_flag);
    if (!stream)
        return false;
    m_stored = true;
    if (decision.offset > 0 && offset == 0)
        m_context.appendHistory(ResumeTexts::refused(m_shownName));
    if (!m_file->seek(offset))
        return m_tries.fail(FailureKind::Permanent, QStringLiteral("cannot read %1").arg(m_shownName));
    position = offset;
    const bool sent = send(*stream, position) && stream->close();
    stream.reset(); // breaks off a transfer that did not end
    if (!sent)
        return false;
    const qint64 size = localNow.size.value_or(position);
    // A resumed file is checked where the server can tell: the parts must add up to the file.
    if (decision.offset > 0) {
        if (const std::optional<qint64> held = m_session.fileFacts(record.temporaryName).size; held && *held != size) {
            m_startOver = true;
            return m_tries.fail(FailureKind::Transient,
                                QStringLiteral("the server holds %1 of %2 bytes of %3").arg(*held).arg(size).arg(m_shownName));
        }
    }
    position = size;
    return putInPlace(position);
}

bool RetryingUpload::sendDirect(qint64& position)
{
    if (m_session.fileFacts(m_remoteName).size.has_value())
        return keepTheOldFile();
    if (!m_session.isConnected())
        return false;
    m_tries.starting(0);
    std::unique_ptr<UploadStream> stream
        = AsciiUploadFilter::forType(m_session.openForUpload(m_remoteName, m_flag), m_flag);
    if (!stream)
        return false;
    if (!m_file->seek(0))
        return m_tries.fail(FailureKind::Permanent, QStringLiteral("cannot read %1").arg(m_shownName));
    position = 0;
    return send(*stream, position) && stream->close();
}

bool RetryingUpload::keepTheOldFile()
{
    // Without a rename the new file could only go over the old one, and a break would leave
    // neither of them.
    const QString line = getText("RESUME_NOREPLACE") + QLatin1Char(' ') + m_shownName;
    m_context.appendHistory(line, HistoryColour::Red);
    return m_tries.fail(FailureKind::Permanent, line);
}

bool RetryingUpload::send(UploadStream& stream, qint64& position)
{
    QByteArray block(blockSize, Qt::Uninitialized);
    const qint64 size = m_file->size();
    for (;;) {
        if (m_context.isCancelled())
            return false;
        const qint64 read = m_file->read(block.data(), block.size());
        if (read < 0)
            return m_tries.fail(FailureKind::Permanent, QStringLiteral("cannot read %1").arg(m_shownName));
        if (read == 0)
            return true;
        if (!stream.write(block.constData(), read))
            return false;
        position += read;
        if (m_progress)
            m_progress(position, size);
    }
}

bool RetryingUpload::putInPlace(qint64& position)
{
    Record& record = *m_record;
    if (m_session.rename(record.temporaryName, m_remoteName)) {
        record.temporaryName.clear();
        return true;
    }
    // A lost connection: the next try finds the whole file under the temporary name.
    if (!m_session.isConnected())
        return false;
    const FailureKind failure = m_session.lastFailure();
    const QString refusal = m_session.lastError();
    // Some servers never rename onto an existing name. A file in the way steps aside, and is deleted
    // only once the new one stands in its place; a folder in the way stays where it is.
    const bool fileInTheWay = m_session.fileFacts(m_remoteName).size.has_value();
    const QString aside = besideName(m_remoteName, ".old");
    if (fileInTheWay && m_session.rename(m_remoteName, aside)) {
        if (!m_session.rename(record.temporaryName, m_remoteName)) {
            const FailureKind second = m_session.lastFailure();
            const QString why = m_session.lastError();
            m_session.rename(aside, m_remoteName);
            return m_tries.fail(second, why);
        }
        record.temporaryName.clear();
        if (m_session.remove(aside))
            m_context.appendHistory(getText("RESUME_OLDREPLACED") + QLatin1Char(' ') + m_shownName);
        else
            m_context.appendHistory(getText("RESUME_OLDKEPT") + QLatin1Char(' ') + aside, HistoryColour::Red);
        return true;
    }
    if (!m_session.isConnected() || failure != FailureKind::Permanent)
        return m_tries.fail(m_session.isConnected() ? failure : FailureKind::ConnectionLost, refusal);
    if (fileInTheWay) {
        // Our own file goes; a resume would meet the same refusal.
        m_stored = !m_session.remove(record.temporaryName);
        return keepTheOldFile();
    }
    // The server renames nothing here (an upload-only folder): the file goes under its own name,
    // and so do the next ones. The temporary file goes where the server lets us delete it.
    m_habits->renamesRefused = true;
    m_context.appendHistory(getText("RESUME_NORENAME") + QLatin1Char(' ') + m_shownName);
    if (m_session.remove(record.temporaryName))
        record.temporaryName.clear();
    return sendDirect(position);
}
