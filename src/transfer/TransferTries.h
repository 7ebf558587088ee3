#pragma once

#include "FailureKind.h"
#include "RetryPolicy.h"

#include <QString>

#include <functional>
#include <optional>

class JobContext;

// The tries of one file's transfer. After a try that failed, the retry policy decides whether
// another follows; each retry waits the delay (a stop ends the wait at once), makes a new
// connection and runs the next try, and writes a history line with the reason and the byte it
// resumes from once the try knows it. Why a try failed is the session's lastFailure(), unless the
// try said otherwise.
class TransferTries
{
public:
    // One try: true when the file is complete in its place; position is set to the bytes in place
    // at its end, as the next try would resume from them.
    using Try = std::function<bool(qint64& position)>;
    // A new connection, standing in the file's folder.
    using Reconnect = std::function<bool()>;

    TransferTries(JobContext& context, RetrySettings settings, Reconnect reconnect);

    // shownName names the file in the retry lines; start is the position before the first try.
    bool run(const QString& shownName, qint64 start, const Try& attempt);
    // Called by a try once it knows the byte it starts from: writes the retry's line, or, for a
    // first try that goes on from what an earlier run left, the line that says so.
    void starting(qint64 offset);
    // For a try that failed for a reason the session does not know (the local file, a size the
    // server got wrong); returns false.
    bool fail(FailureKind kind, const QString& reason);
    // The reason of the last failed try, for the caller's own lines.
    QString lastReason() const { return m_reason; }

private:
    bool pause();

    JobContext& m_context;
    QString m_shownName;
    int m_retry = 0;              // of the try that runs now; 0 for the first
    bool m_announced = false;     // the running try's line is written
    RetrySettings m_settings;
    Reconnect m_reconnect;
    std::optional<FailureKind> m_failure; // set by fail() during the current try
    QString m_reason;
};
