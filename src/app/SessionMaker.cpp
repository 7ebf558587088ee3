#include "SessionMaker.h"

#include "FtpSession.h"
#include "UnavailableSession.h"

std::unique_ptr<RemoteOperations> makeSession(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Ftp:
        return std::make_unique<FtpSession>();
    case Protocol::Sftp:
        break;
    }
    return std::make_unique<UnavailableSession>(QStringLiteral("SFTP is not available in this build"));
}
