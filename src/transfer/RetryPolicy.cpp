#include "RetryPolicy.h"

#include <algorithm>

RetrySettings RetrySettings::bounded() const
{
    return {std::clamp(retries, 0, maximumRetries), std::clamp(delaySeconds, 0, maximumDelaySeconds)};
}

RetryPolicy::RetryPolicy(RetrySettings settings, qint64 start)
    : m_settings(settings.bounded())
    , m_furthest(start)
{
}

bool RetryPolicy::retryAfter(FailureKind failure, qint64 position)
{
    const bool progressed = position > m_furthest;
    m_furthest = std::max(m_furthest, position);
    if (m_settings.retries == 0 || (failure != FailureKind::ConnectionLost && failure != FailureKind::Transient))
        return false;
    if (progressed)
        return true;
    if (m_counted >= m_settings.retries)
        return false;
    ++m_counted;
    return true;
}
