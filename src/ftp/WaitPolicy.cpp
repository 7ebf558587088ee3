#include "WaitPolicy.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>

#include <poll.h>

void WaitPolicy::setTimeouts(int connectMilliseconds, int idleMilliseconds)
{
    m_connectMilliseconds = std::max(1, connectMilliseconds);
    m_idleMilliseconds = std::max(1, idleMilliseconds);
}

WaitPolicy::Result WaitPolicy::wait(pollfd* descriptors, int count, int timeoutMilliseconds) const
{
    const QDeadlineTimer deadline(std::max(0, timeoutMilliseconds));
    for (;;) {
        if (isCancelled())
            return Result::Cancelled;
        const int slice = static_cast<int>(std::min<qint64>(pollSliceMilliseconds, deadline.remainingTime()));
        const int ready = ::poll(descriptors, static_cast<nfds_t>(count), slice);
        if (ready > 0)
            return Result::Ready;
        if (ready < 0 && errno != EINTR)
            return Result::Failed;
        if (deadline.hasExpired())
            return Result::TimedOut;
    }
}
