#pragma once

#include "ConnectionSettings.h"

class JobContext;

// The two connect commands differ in their texts and in whether the port field takes part.
enum class ConnectVariant {
    Menu,  // the connect menu entry and toolbar button
    Enter, // Enter in the password field
};

// The steps of the connection commands that talk to the server; they run on the session thread.
namespace ConnectionJobs {

// Connects and logs in, changes to the session's start folder ("/" for FTP) and writes the two
// history lines, and those of the encryption, the host key and the log-in method. False on
// failure, when nothing is written unless the history can say why (the encryption; for SSH the
// host key, the log-in methods the server offered, or the server's words).
bool connect(JobContext& context, const ConnectionSettings& settings, ConnectVariant variant);

// Leaves a working connection standing in "/". A connection that is alive (answers within a few
// seconds) and was made with the connect-time choices of settings (protocol, FTP's encryption) is
// kept; otherwise a new one is made from settings. Logging in again costs up to half a second on
// common servers, and many servers limit or ban clients that connect often. On failure asks the
// GUI to show the no-connection message (a refused certificate or host key writes a red line
// instead: the peer-identity question was the message) and returns false.
bool reconnect(JobContext& context, const ConnectionSettings& settings);

// reconnect(), then back into folder (when it is not empty): the folder the remote pane shows.
bool reconnectTo(JobContext& context, const ConnectionSettings& settings, const QString& folder);

// One tick of the connection watch: true when the server no longer reports a current folder.
bool connectionLost(JobContext& context);

} // namespace ConnectionJobs
