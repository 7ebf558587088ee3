#pragma once

#include "RemoteFileFacts.h"

#include <optional>

// Where the next try of a transfer starts: after the bytes already in place when they belong to
// the same file, else at byte 0, and why.
namespace ResumeRule {

enum class StartOver {
    No,      // resume at offset, or nothing was in place
    Changed, // the file is not the one the bytes in place came from
    Unknown, // the server cannot tell the size or time the check needs
    Text,    // a text transfer changes its line ends on the way: byte counts do not match
};

struct Decision {
    qint64 offset = 0;
    StartOver why = StartOver::No;
    bool operator==(const Decision&) const = default;
};

// A download with partial bytes of a partial file: it resumes only when the remote file's size and
// time are known and are those recorded when the partial began.
Decision forDownload(qint64 partial, const std::optional<RemoteFileFacts>& recorded, const RemoteFileFacts& now);

// An upload whose earlier try left the temporary file on the server, with temporarySize bytes
// where the server can tell: it resumes only in binary and while the local file is as it was.
Decision forUpload(bool text, const RemoteFileFacts& localAtStart, const RemoteFileFacts& localNow,
                   std::optional<qint64> temporarySize);

} // namespace ResumeRule
