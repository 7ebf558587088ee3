#include "SessionMaker.h"

#include "FtpSession.h"
#include "SftpSession.h"

std::unique_ptr<RemoteOperations> makeSession(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Sftp:
        return std::make_unique<SftpSession>();
    case Protocol::Ftp:
        break;
    }
    return std::make_unique<FtpSession>();
}
