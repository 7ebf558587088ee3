#pragma once

#include <QDeadlineTimer>

#include <algorithm>
#include <atomic>

struct pollfd;

// How long the engine waits for the network, and the flag that ends every wait early. Each wait
// is cut into slices of at most pollSliceMilliseconds, so a set cancel flag is seen within that.
class WaitPolicy
{
public:
    enum class Result {
        Ready,     // at least one descriptor has an event (see revents)
        TimedOut,  // nothing within the time given
        Cancelled, // the cancel flag was set
        Failed,    // poll itself failed
    };

    static constexpr int pollSliceMilliseconds = 50;
    static constexpr int defaultConnectMilliseconds = 20'000;
    static constexpr int defaultIdleMilliseconds = 60'000;

    void setCancelFlag(const std::atomic<bool>* cancelled) { m_cancelled = cancelled; }
    void setTimeouts(int connectMilliseconds, int idleMilliseconds);
    int connectTimeout() const { return m_connectMilliseconds; }
    int idleTimeout() const { return m_idleMilliseconds; }
    bool isCancelled() const { return m_cancelled && m_cancelled->load(); }

    // What is left of deadline, at least one millisecond (a wait of 0 would not wait at all).
    static int remainingMilliseconds(const QDeadlineTimer& deadline)
    {
        return static_cast<int>(std::max<qint64>(1, deadline.remainingTime()));
    }

    // Polls the descriptors until one is ready, timeoutMilliseconds pass or the flag is set.
    Result wait(pollfd* descriptors, int count, int timeoutMilliseconds) const;

private:
    const std::atomic<bool>* m_cancelled = nullptr;
    int m_connectMilliseconds = defaultConnectMilliseconds;
    int m_idleMilliseconds = defaultIdleMilliseconds;
};
