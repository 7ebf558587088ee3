#pragma once

#include "FailureKind.h"

#include <QtGlobal>

// How often and how soon a transfer that failed is tried again; both are settings.
struct RetrySettings {
    static constexpr int maximumRetries = 10;
    static constexpr int maximumDelaySeconds = 600;

    int retries = 2;
    int delaySeconds = 5;

    // Both within their ranges.
    RetrySettings bounded() const;
};

// Decides after each failed try of one transfer whether another follows. A lost connection, a
// time-out or a refusal for now (FTP 4xx) is tried again while retries are left; a refusal for
// good (5xx), a failure of the local side or a stop never is. A try that moved the transfer
// forward (beyond where any try before it got) does not count against the limit, so a link that
// drops every few hundred MiB still gets a large file through. No retries at all means none.
class RetryPolicy
{
public:
    // start: the bytes in place before the first try (a partial file's, say).
    explicit RetryPolicy(RetrySettings settings, qint64 start = 0);

    // position: the bytes in place after the try that failed.
    bool retryAfter(FailureKind failure, qint64 position);
    // Retries counted against the limit so far.
    int counted() const { return m_counted; }

private:
    RetrySettings m_settings;
    qint64 m_furthest;
    int m_counted = 0;
};
