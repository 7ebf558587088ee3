#include "SiteStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>

#include <array>

namespace {

// How long a save waits for another instance's; a lock left by a crashed one is taken over.
constexpr int lockWaitMilliseconds = 10'000;

// The names the file uses for the enumerations, in their order.
const std::array protocolNames{QStringLiteral("ftp"), QStringLiteral("sftp")};
const std::array logonNames{QStringLiteral("normal"), QStringLiteral("ask"), QStringLiteral("anonymous")};
const std::array encryptionNames{QStringLiteral("plain"), QStringLiteral("ifAvailable"), QStringLiteral("required")};
const std::array modeNames{QStringLiteral("ascii"), QStringLiteral("binary"), QStringLiteral("auto")};

template <typename Enum, std::size_t N>
QString nameOf(const std::array<QString, N>& names, Enum value)
{
    return names.at(static_cast<std::size_t>(value));
}

// An unknown name keeps the default: a file from a later version still opens.
template <typename Enum, std::size_t N>
Enum valueOf(const std::array<QString, N>& names, const QJsonValue& value, Enum fallback)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == value.toString())
            return static_cast<Enum>(i);
    }
    return fallback;
}

QJsonObject siteObject(const Site& site)
{
    return {{QStringLiteral("id"), site.id},
            {QStringLiteral("name"), site.name},
            {QStringLiteral("protocol"), nameOf(protocolNames, site.protocol)},
            {QStringLiteral("host"), site.host},
            {QStringLiteral("port"), site.port},
            {QStringLiteral("user"), site.user},
            {QStringLiteral("logon"), nameOf(logonNames, site.logon)},
            {QStringLiteral("savePassword"), site.savePassword},
            {QStringLiteral("encryption"), nameOf(encryptionNames, site.encryption)},
            {QStringLiteral("passive"), site.passive},
            {QStringLiteral("transferMode"), nameOf(modeNames, site.transferMode)},
            {QStringLiteral("localFolder"), site.localFolder},
            {QStringLiteral("remoteFolder"), site.remoteFolder},
            {QStringLiteral("maxTransfers"), site.maxTransfers},
            {QStringLiteral("comment"), site.comment}};
}

Site siteOf(const QJsonObject& object)
{
    Site site;
    site.id = object.value(QStringLiteral("id")).toString();
    if (site.id.isEmpty())
        site.id = Site::newId();
    site.name = object.value(QStringLiteral("name")).toString();
    site.protocol = valueOf(protocolNames, object.value(QStringLiteral("protocol")), Protocol::Ftp);
    site.host = object.value(QStringLiteral("host")).toString();
    const int port = object.value(QStringLiteral("port")).toInt();
    site.port = port >= 1 && port <= 65535 ? static_cast<quint16>(port) : defaultPort(site.protocol);
    site.user = object.value(QStringLiteral("user")).toString();
    site.logon = valueOf(logonNames, object.value(QStringLiteral("logon")), LogonType::Normal);
    site.savePassword = object.value(QStringLiteral("savePassword")).toBool();
    site.encryption = valueOf(encryptionNames, object.value(QStringLiteral("encryption")), SiteEncryption::IfAvailable);
    site.passive = object.value(QStringLiteral("passive")).toBool(true);
    site.transferMode = valueOf(modeNames, object.value(QStringLiteral("transferMode")), SiteTransferMode::Auto);
    site.localFolder = object.value(QStringLiteral("localFolder")).toString();
    site.remoteFolder = object.value(QStringLiteral("remoteFolder")).toString();
    site.maxTransfers = std::clamp(object.value(QStringLiteral("maxTransfers")).toInt(2), 1, 10);
    site.comment = object.value(QStringLiteral("comment")).toString();
    return site;
}

QJsonArray sitesArray(const QList<Site>& sites)
{
    QJsonArray array;
    for (const Site& site : sites)
        array.append(siteObject(site));
    return array;
}

QList<Site> sitesOf(const QJsonValue& value)
{
    QList<Site> sites;
    for (const QJsonValue& entry : value.toArray())
        sites.append(siteOf(entry.toObject()));
    return sites;
}

QJsonObject folderObject(const SiteFolder& folder)
{
    QJsonArray folders;
    for (const SiteFolder& inner : folder.folders)
        folders.append(folderObject(inner));
    return {{QStringLiteral("name"), folder.name},
            {QStringLiteral("folders"), folders},
            {QStringLiteral("sites"), sitesArray(folder.sites)}};
}

SiteFolder folderOf(const QJsonObject& object)
{
    SiteFolder folder;
    folder.name = object.value(QStringLiteral("name")).toString();
    for (const QJsonValue& inner : object.value(QStringLiteral("folders")).toArray())
        folder.folders.append(folderOf(inner.toObject()));
    folder.sites = sitesOf(object.value(QStringLiteral("sites")));
    return folder;
}

// The first free name beside path for a damaged file: "sites.json.damaged", then ".damaged-2" ...
QString asideName(const QString& path)
{
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-") + QString::number(n);
    return aside;
}

} // namespace

SiteStore::SiteStore()
    : SiteStore(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/sites.json"))
{
}

SiteStore::SiteStore(QString path)
    : m_path(std::move(path))
{
}

QByteArray SiteStore::toJson(const SiteData& data)
{
    QJsonObject root = folderObject(data.root);
    root.remove(QStringLiteral("name"));
    root.insert(QStringLiteral("format"), 1);
    root.insert(QStringLiteral("recent"), sitesArray(data.recent));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<SiteData> SiteStore::fromJson(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toInt() != 1)
        return std::nullopt;
    SiteData data;
    data.root = folderOf(root);
    data.recent = sitesOf(root.value(QStringLiteral("recent")));
    while (data.recent.size() > recentConnectionCount)
        data.recent.removeLast();
    return data;
}

SiteStore::Loaded SiteStore::load() const
{
    Loaded loaded;
    QFile file(m_path);
    if (!file.exists())
        return loaded;
    std::optional<SiteData> data;
    if (file.open(QIODevice::ReadOnly))
        data = fromJson(file.readAll());
    file.close();
    if (data) {
        loaded.data = *data;
        loaded.status = Status::Read;
        return loaded;
    }
    loaded.status = Status::Damaged;
    loaded.keptAs = asideName(m_path);
    if (!QFile::rename(m_path, loaded.keptAs))
        loaded.keptAs.clear();
    return loaded;
}

bool SiteStore::update(const std::function<void(SiteData&)>& change, SiteData& data, QString& error) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QLockFile lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock(lockWaitMilliseconds)) {
        error = QStringLiteral("cannot lock %1").arg(m_path);
        return false;
    }
    QFile file(m_path);
    if (file.open(QIODevice::ReadOnly)) {
        if (std::optional<SiteData> current = fromJson(file.readAll()))
            data = *current;
    }
    change(data);
    return save(data, error);
}

bool SiteStore::save(const SiteData& data, QString& error) const
{
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        error = QStringLiteral("cannot create the folder of %1").arg(m_path);
        return false;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    // Host and user names are the user's business: the temporary file, which is renamed into
    // place, is the user's alone from the start.
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        file.cancelWriting();
        error = QStringLiteral("cannot protect %1").arg(m_path);
        return false;
    }
    file.write(toJson(data));
    if (!file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}
