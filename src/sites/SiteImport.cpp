#include "SiteImport.h"

#include "TextCatalogue.h"

#include <QIODevice>
#include <QXmlStreamReader>

namespace {

// The file's protocol numbers that we speak, and how; the other numbers name HTTP, WebDAV and
// cloud storage.
enum FileProtocol { Ftp = 0, Sftp = 1, ImplicitFtps = 3, ExplicitFtps = 4, PlainFtp = 6 };
// The file's log-on types.
enum FileLogon { Anonymous = 0, Normal = 1, Ask = 2, Interactive = 3, Account = 4, KeyFile = 5 };

// A remote folder is written as "<server type> <prefix length> [<prefix>] <length> <segment> ...",
// so that segments may hold blanks: "1 0 4 home 8 my files" is /home/my files.
QString remoteFolderOf(const QString& safePath)
{
    QStringList segments;
    qsizetype at = 0;
    auto number = [&]() -> qsizetype {
        const qsizetype blank = safePath.indexOf(QLatin1Char(' '), at);
        bool ok = false;
        const qsizetype value = safePath.mid(at, blank < 0 ? -1 : blank - at).toLongLong(&ok);
        at = blank < 0 ? safePath.size() : blank + 1;
        return ok ? value : -1;
    };
    auto text = [&](qsizetype length) {
        const QString part = safePath.mid(at, length);
        at += length + 1;
        return part;
    };
    if (safePath.trimmed().isEmpty() || number() < 0)
        return {};
    const qsizetype prefixLength = number();
    if (prefixLength > 0)
        text(prefixLength);
    while (at < safePath.size()) {
        const qsizetype length = number();
        if (length <= 0 || at + length > safePath.size())
            return {};
        segments.append(text(length));
    }
    return QLatin1Char('/') + segments.join(QLatin1Char('/'));
}

QString skipReason(const Site& site, const char* key)
{
    return (site.name.isEmpty() ? QStringLiteral("?") : site.name) + QStringLiteral(": ") + getText(key);
}

// One <Server> element, up to its end tag; nullopt with a reason when it cannot be used.
std::optional<Site> readServer(QXmlStreamReader& xml, QString& password, QString& reason)
{
    QHash<QString, QString> fields;
    QString passEncoding;
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        if (name == QLatin1String("Pass"))
            passEncoding = xml.attributes().value(QLatin1String("encoding")).toString();
        fields.insert(name, xml.readElementText(QXmlStreamReader::IncludeChildElements));
    }
    Site site;
    site.id = Site::newId();
    site.host = fields.value(QStringLiteral("Host")).trimmed();
    site.name = fields.value(QStringLiteral("Name"), site.host).trimmed();
    switch (fields.value(QStringLiteral("Protocol"), QStringLiteral("0")).toInt()) {
    case Ftp:
        site.encryption = SiteEncryption::IfAvailable;
        break;
    case ExplicitFtps:
        site.encryption = SiteEncryption::Required;
        break;
    case PlainFtp:
        site.encryption = SiteEncryption::Plain;
        break;
    case Sftp:
        site.protocol = Protocol::Sftp;
        break;
    case ImplicitFtps:
        reason = skipReason(site, "IMPORT_IMPLICIT");
        return std::nullopt;
    default:
        reason = skipReason(site, "IMPORT_PROTOCOL");
        return std::nullopt;
    }
    if (site.host.isEmpty()) {
        reason = skipReason(site, "IMPORT_NOHOST");
        return std::nullopt;
    }
    const int port = fields.value(QStringLiteral("Port")).toInt();
    site.port = port >= 1 && port <= 65535 ? static_cast<quint16>(port) : defaultPort(site.protocol);
    site.user = fields.value(QStringLiteral("User"));
    const QString pass = fields.value(QStringLiteral("Pass"));
    // An encrypted password ("crypt") needs that client's master password: it is left out.
    if (passEncoding == QLatin1String("base64"))
        password = QString::fromUtf8(QByteArray::fromBase64(pass.toLatin1()));
    else if (passEncoding.isEmpty())
        password = pass;
    switch (fields.value(QStringLiteral("Logontype"), QStringLiteral("1")).toInt()) {
    case Anonymous:
        site.logon = LogonType::Anonymous;
        site.user = QStringLiteral("anonymous");
        password.clear();
        break;
    case Ask:
    case Interactive:
        site.logon = LogonType::Ask;
        password.clear();
        break;
    case KeyFile:
        // Our SSH log-in tries the agent and the default keys before a password.
        password.clear();
        break;
    case Normal:
    case Account:
    default:
        break;
    }
    site.savePassword = !password.isEmpty();
    site.passive = fields.value(QStringLiteral("PasvMode")) != QLatin1String("MODE_ACTIVE");
    const int connections = fields.value(QStringLiteral("MaximumMultipleConnections")).toInt();
    site.maxTransfers = connections > 0 ? std::clamp(connections, 1, 10) : 2;
    site.localFolder = fields.value(QStringLiteral("LocalDir"));
    site.remoteFolder = remoteFolderOf(fields.value(QStringLiteral("RemoteDir")));
    site.comment = fields.value(QStringLiteral("Comments"));
    return site;
}

// The content of a <Servers> or <Folder> element, up to its end tag. A folder's name is the
// text before its first child.
void readFolder(QXmlStreamReader& xml, SiteFolder& folder, SiteImport& result)
{
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement)
            return;
        if (token == QXmlStreamReader::Characters && folder.name.isEmpty() && !xml.isWhitespace()) {
            folder.name = xml.text().toString().trimmed();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("Folder")) {
            SiteFolder inner;
            readFolder(xml, inner, result);
            folder.folders.append(inner);
        } else if (xml.name() == QLatin1String("Server")) {
            QString password;
            QString reason;
            if (const std::optional<Site> site = readServer(xml, password, reason)) {
                folder.sites.append(*site);
                if (!password.isEmpty())
                    result.passwords.insert(site->id, password);
                ++result.imported;
            } else {
                result.skipped.append(reason);
            }
        } else {
            xml.skipCurrentElement();
        }
    }
}

} // namespace

SiteImport importSiteManagerXml(QIODevice& file)
{
    SiteImport result;
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("FileZilla3"))
        return result;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("Servers")) {
            xml.skipCurrentElement();
            continue;
        }
        result.readable = true;
        readFolder(xml, result.root, result);
    }
    // A file cut off in the middle brought nothing we can trust to be whole.
    if (xml.hasError())
        return SiteImport{};
    return result;
}
