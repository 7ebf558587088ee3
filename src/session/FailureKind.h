#pragma once

// Why an operation failed, as far as trying it again can help.
enum class FailureKind {
    ConnectionLost, // the connection broke, was closed by the server, or the server went silent
    Transient,      // the server refused for now (FTP 4xx: busy, transfer aborted, too many users)
    Permanent,      // refused for good (FTP 5xx: no permission, no such file, name refused), or
                    // the local side failed (disk full, a file that cannot be read)
    Cancelled,      // the user stopped it, or the program is closing
};
