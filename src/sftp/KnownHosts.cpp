#include "KnownHosts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

struct Line {
    QByteArray marker; // "@revoked", "@cert-authority" or empty
    QByteArray patterns;
    QString type;
    QByteArray blob;
};

std::optional<Line> parseLine(QByteArray text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.startsWith('#'))
        return std::nullopt;
    QList<QByteArray> fields = text.simplified().split(' ');
    Line line;
    if (fields.first().startsWith('@'))
        line.marker = fields.takeFirst();
    if (fields.size() < 3)
        return std::nullopt;
    line.patterns = fields[0];
    line.type = QString::fromLatin1(fields[1]);
    line.blob = QByteArray::fromBase64(fields[2]);
    if (line.blob.isEmpty())
        return std::nullopt;
    return line;
}

bool matchesHashed(const QByteArray& pattern, const QByteArray& name)
{
    // |1|base64 salt|base64 HMAC-SHA1(salt, name)
    const QList<QByteArray> parts = pattern.split('|');
    if (parts.size() != 4 || parts[1] != "1")
        return false;
    const QByteArray salt = QByteArray::fromBase64(parts[2]);
    const QByteArray hash = QByteArray::fromBase64(parts[3]);
    return !salt.isEmpty() && QMessageAuthenticationCode::hash(name, salt, QCryptographicHash::Sha1) == hash;
}

bool matchesWildcard(const QByteArray& pattern, const QByteArray& name)
{
    if (!pattern.contains('*') && !pattern.contains('?'))
        return pattern.toLower() == name;
    const QRegularExpression expression(
        QRegularExpression::wildcardToRegularExpression(QString::fromUtf8(pattern.toLower()),
                                                        QRegularExpression::UnanchoredWildcardConversion),
        QRegularExpression::CaseInsensitiveOption);
    return expression.match(QString::fromUtf8(name)).hasMatch();
}

// True when the line's patterns name the host: one pattern matches and no negated one does.
bool namesHost(const QByteArray& patterns, const QByteArray& name)
{
    if (patterns.startsWith('|'))
        return matchesHashed(patterns, name);
    bool matched = false;
    for (const QByteArray& pattern : patterns.split(',')) {
        if (pattern.startsWith('!')) {
            if (matchesWildcard(pattern.mid(1), name))
                return false;
        } else if (matchesWildcard(pattern, name)) {
            matched = true;
        }
    }
    return matched;
}

QList<QByteArray> readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n');
}

} // namespace

KnownHosts::KnownHosts(QString path)
    : m_path(std::move(path))
{
}

QString KnownHosts::hostName(const QString& host, quint16 port)
{
    QString name = host.trimmed().toLower();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    return port == 22 ? name : QStringLiteral("[%1]:%2").arg(name).arg(port);
}

KnownHostState KnownHosts::check(const QString& host, quint16 port, const SshHostKey& key) const
{
    const QByteArray name = hostName(host, port).toUtf8();
    bool same = false;
    bool other = false;
    for (const QByteArray& text : readLines(m_path)) {
        const std::optional<Line> line = parseLine(text);
        if (!line || line->marker == "@cert-authority" || !namesHost(line->patterns, name))
            continue;
        if (line->marker == "@revoked") {
            if (line->blob == key.blob)
                return KnownHostState::Changed;
            continue;
        }
        if (line->blob == key.blob)
            same = true;
        else if (line->type == key.type)
            other = true;
    }
    if (same)
        return KnownHostState::Known;
    return other ? KnownHostState::Changed : KnownHostState::Unknown;
}

QStringList KnownHosts::knownTypes(const QString& host, quint16 port) const
{
    const QByteArray name = hostName(host, port).toUtf8();
    QStringList types;
    for (const QByteArray& text : readLines(m_path)) {
        const std::optional<Line> line = parseLine(text);
        if (line && line->marker.isEmpty() && namesHost(line->patterns, name) && !types.contains(line->type))
            types.append(line->type);
    }
    return types;
}

std::optional<SshHostKey> KnownHosts::storedKey(const QString& host, quint16 port, const QString& type) const
{
    const QByteArray name = hostName(host, port).toUtf8();
    for (const QByteArray& text : readLines(m_path)) {
        const std::optional<Line> line = parseLine(text);
        if (line && line->marker.isEmpty() && line->type == type && namesHost(line->patterns, name))
            return SshHostKey{line->type, line->blob};
    }
    return std::nullopt;
}

SftpStatus KnownHosts::add(const QString& host, quint16 port, const SshHostKey& key) const
{
    const QString nameText = hostName(host, port);
    const QByteArray name = nameText.toUtf8();
    // A name with blanks or commas would make a line that reads back as something else.
    static const QRegularExpression unsafe(QStringLiteral("[\\s,#|*?!@]"));
    if (name.isEmpty() || nameText.contains(unsafe) || key.type.isEmpty() || key.blob.isEmpty())
        return SftpStatus::failure(SftpStatus::Code::LocalError, QStringLiteral("cannot store a host key for \"%1\"").arg(host));

    QByteArray content;
    for (const QByteArray& text : readLines(m_path)) {
        const std::optional<Line> line = parseLine(text);
        const bool onlyThisHost = line && line->marker.isEmpty() && !line->patterns.contains(',')
            && (line->patterns.startsWith('|') ? matchesHashed(line->patterns, name) : line->patterns.toLower() == name);
        if (onlyThisHost && line->type == key.type && line->blob != key.blob)
            continue;
        if (!text.isEmpty())
            content += text + '\n';
    }
    content += name + ' ' + key.type.toLatin1() + ' ' + key.blob.toBase64() + '\n';

    // A folder made here is the user's alone, as ssh makes ~/.ssh.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo::exists(folder)
        && (!QDir().mkpath(folder) || !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        return SftpStatus::failure(SftpStatus::Code::LocalError, QStringLiteral("cannot create %1").arg(folder));
    // QSaveFile writes a temporary file beside the target and renames it over the old one, keeping
    // the old file's permissions; a crash leaves the old list or the new one.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return SftpStatus::failure(SftpStatus::Code::LocalError, QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString()));
    return {};
}
