#pragma once

#include "Site.h"

#include <optional>

// What a link such as ftp://anna:pw@example.org:2121/pub/ asks for.
struct SiteLink {
    Site site; // protocol, host, port, user and log-on; remoteFolder is the link's path
    // Used for this connection only: never stored, never shown. Empty: asked when needed.
    QString password;
    // Where to go when the path names a file, not a folder: the folder it lies in. Empty when
    // the path ends in "/" and so is a folder.
    QString fileFolder;
};

// Reads an ftp:// or sftp:// link: user[:password]@, a host (an IPv6 address in brackets),
// :port and a path, with percent-escapes decoded. A text that is not such a link gives nullopt
// and the text key of the reason in reasonKey.
std::optional<SiteLink> parseSiteLink(const QString& text, QString& reasonKey);
