#include "SiteLink.h"

#include <QUrl>

#include <algorithm>

namespace {

// A control character in a name would end a command line on the wire or a line on screen.
bool hasControl(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    });
}

} // namespace

std::optional<SiteLink> parseSiteLink(const QString& text, QString& reasonKey)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid()) {
        reasonKey = QStringLiteral("LINK_INVALID");
        return std::nullopt;
    }
    SiteLink link;
    Site& site = link.site;
    if (url.scheme() == QLatin1String("ftp")) {
        site.protocol = Protocol::Ftp;
    } else if (url.scheme() == QLatin1String("sftp")) {
        site.protocol = Protocol::Sftp;
    } else {
        reasonKey = QStringLiteral("LINK_SCHEME");
        return std::nullopt;
    }
    site.host = url.host(QUrl::FullyDecoded);
    if (site.host.isEmpty()) {
        reasonKey = QStringLiteral("LINK_HOST");
        return std::nullopt;
    }
    const int port = url.port(defaultPort(site.protocol));
    if (port < 1 || port > 65535) {
        reasonKey = QStringLiteral("LINK_PORT");
        return std::nullopt;
    }
    site.port = static_cast<quint16>(port);
    site.user = url.userName(QUrl::FullyDecoded);
    link.password = url.password(QUrl::FullyDecoded);
    const QString path = url.path(QUrl::FullyDecoded);
    if (hasControl(site.host) || hasControl(site.user) || hasControl(link.password) || hasControl(path)) {
        reasonKey = QStringLiteral("LINK_CONTROL");
        return std::nullopt;
    }
    // Without a user an FTP link means the anonymous log-in.
    if (site.protocol == Protocol::Ftp && (site.user.isEmpty() || site.user == QLatin1String("anonymous"))) {
        site.user = QStringLiteral("anonymous");
        site.logon = LogonType::Anonymous;
    }
    site.name = site.host;
    QString folder = path;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    site.remoteFolder = folder == QLatin1String("/") ? QString() : folder;
    if (!path.endsWith(QLatin1Char('/')) && !site.remoteFolder.isEmpty())
        link.fileFolder = folder.left(std::max<qsizetype>(folder.lastIndexOf(QLatin1Char('/')), 1));
    return link;
}
