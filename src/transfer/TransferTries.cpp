#include "TransferTries.h"

#include "JobContext.h"
#include "RemoteOperations.h"
#include "ResumeTexts.h"
#include "TextCatalogue.h"

#include <QDeadlineTimer>
#include <QThread>

TransferTries::TransferTries(JobContext& context, RetrySettings settings, Reconnect reconnect)
    : m_context(context)
    , m_settings(settings.bounded())
    , m_reconnect(std::move(reconnect))
{
}

bool TransferTries::fail(FailureKind kind, const QString& reason)
{
    m_failure = kind;
    m_reason = reason;
    return false;
}

void TransferTries::starting(qint64 offset)
{
    if (m_announced)
        return;
    m_announced = true;
    if (m_retry > 0)
        m_context.appendHistory(getText("RETRY_LINE")
                                    .arg(m_retry)
                                    .arg(m_settings.delaySeconds)
                                    .arg(offset)
                                    .arg(m_shownName, m_reason));
    else if (offset > 0)
        m_context.appendHistory(ResumeTexts::resumed(offset, m_shownName));
}

bool TransferTries::run(const QString& shownName, qint64 start, const Try& attempt)
{
    RetryPolicy policy(m_settings, start);
    m_shownName = shownName;
    m_retry = 0;
    qint64 position = start;
    for (;;) {
        m_failure.reset();
        m_announced = false;
        // The first try uses the connection there is; every retry makes a new one.
        const bool done = (m_retry == 0 || m_reconnect()) && attempt(position);
        if (done)
            return true;
        // A retry that failed before it knew where it would start: from where the last one ended.
        if (m_retry > 0)
            starting(position);
        if (m_context.isCancelled())
            return false;
        RemoteOperations& session = m_context.session();
        const FailureKind failure = m_failure.value_or(session.lastFailure());
        if (!m_failure)
            m_reason = session.lastError();
        if (!policy.retryAfter(failure, position) || !pause())
            return false;
        ++m_retry;
    }
}

bool TransferTries::pause()
{
    // Short steps: a stop must not wait out the delay.
    const QDeadlineTimer delay(qint64(m_settings.delaySeconds) * 1000);
    while (!delay.hasExpired()) {
        if (m_context.isCancelled())
            return false;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(50, delay.remainingTime())));
    }
    return !m_context.isCancelled();
}
