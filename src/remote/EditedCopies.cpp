#include "EditedCopies.h"

#include "CopyWatcher.h"
#include "JobContext.h"
#include "JobRunner.h"
#include "Prompter.h"
#include "TextCatalogue.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QWidget>

using RemoteFileJobs::RemoteFileState;

namespace {

// An editor's save is over within a few milliseconds; a person saves again seconds later.
constexpr std::chrono::milliseconds settleTime{300};

quint16 portOf(const ConnectionSettings& server)
{
    return parsePort(server.port).value_or(defaultPort(server.protocol));
}

// The server as the question names it: its host, and the port when it is not the usual one.
QString serverName(const ConnectionSettings& server)
{
    const quint16 port = portOf(server);
    return port == defaultPort(server.protocol) ? server.host : server.host + QLatin1Char(':') + QString::number(port);
}

// One text per account on one server, whatever way its values were typed.
QString serverKey(const ConnectionSettings& server)
{
    return QString::number(int(server.protocol)) + QLatin1Char('|') + server.host.trimmed().toLower()
           + QLatin1Char('|') + QString::number(portOf(server)) + QLatin1Char('|') + server.user;
}

QString keyOf(const CopyOrigin& origin)
{
    return serverKey(origin.server) + QLatin1Char('|') + origin.remotePath();
}

} // namespace

QString CopyOrigin::subfolder() const
{
    const QByteArray place = (serverKey(server) + QLatin1Char('|') + folder).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(place, QCryptographicHash::Sha256).toHex().left(16));
}

QString CopyOrigin::remotePath() const
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

EditedCopies::EditedCopies(JobRunner& runner, RemoteEnvironment environment, QWidget* window)
    : QObject(window)
    , m_runner(runner)
    , m_environment(std::move(environment))
    , m_window(window)
    , m_watcher(new CopyWatcher(settleTime, this))
{
    connect(m_watcher, &CopyWatcher::contentChanged, this, &EditedCopies::contentChanged);
}

void EditedCopies::opening(const CopyOrigin& origin)
{
    const auto found = m_copies.find(keyOf(origin));
    if (found != m_copies.end())
        found->replacing = true;
}

void EditedCopies::opened(const CopyOrigin& origin, const QString& localPath, const RemoteFileState& state)
{
    const QString key = keyOf(origin);
    if (localPath.isEmpty()) {
        if (m_copies.contains(key))
            m_copies[key].replacing = false;
        return;
    }
    Copy& copy = m_copies[key];
    copy.origin = origin;
    copy.origin.server.password.clear();
    copy.localPath = localPath;
    copy.state = state;
    copy.replacing = false;
    copy.unsent = false;
    m_keyOfPath.insert(localPath, key);
    m_watcher->watch(localPath);
}

QString EditedCopies::unsentCopy(const CopyOrigin& origin) const
{
    const auto found = m_copies.constFind(keyOf(origin));
    return found != m_copies.cend() && found->unsent ? found->localPath : QString();
}

void EditedCopies::contentChanged(const QString& localPath)
{
    const QString key = m_keyOfPath.value(localPath);
    if (!m_copies.contains(key))
        return;
    Copy& copy = m_copies[key];
    // The program's own download is no edit; watch() takes its content as known.
    if (copy.replacing)
        return;
    if (copy.busy) {
        copy.changedMeanwhile = true;
        return;
    }
    check(key);
}

void EditedCopies::check(const QString& key)
{
    Copy& copy = m_copies[key];
    copy.unsent = true; // until the server confirms the upload
    if (!connectedTo(copy.origin.server)) {
        appendHistory(getText("EDIT_NOTCONNECTED").arg(copy.origin.remotePath(), serverName(copy.origin.server)),
                      HistoryColour::Red);
        // Nothing was sent: the next save asks, also one that leaves this content.
        m_watcher->forgetContent(copy.localPath);
        return;
    }
    copy.busy = true;
    // Before anything is sent: has someone else changed the file since it was opened?
    readState(key, &EditedCopies::ask);
}

void EditedCopies::readState(const QString& key, StateHandler next)
{
    const CopyOrigin& origin = m_copies[key].origin;
    QPointer<EditedCopies> self(this);
    m_runner.start<RemoteFileState>(
        [folder = origin.folder, name = origin.name](JobContext& context) {
            return RemoteFileJobs::fileState(context.session(), folder, name);
        },
        [self, key, next](RemoteFileState now) {
            if (self)
                (self->*next)(key, now);
        },
        JobVisibility::Background);
}

void EditedCopies::ask(const QString& key, const RemoteFileState& now)
{
    const Copy copy = m_copies.value(key);
    const bool changedOnServer = now.differsFrom(copy.state);
    QString question = getText("EDIT_QUESTION").arg(copy.origin.remotePath(), serverName(copy.origin.server));
    if (changedOnServer)
        question += QStringLiteral("\n\n") + getText("EDIT_SERVERCHANGED");
    const PromptAnswer answer = showMessage(m_window, question,
                                            changedOnServer ? PromptIcon::Exclamation : PromptIcon::Question,
                                            PromptButtons::YesNo);
    if (answer != PromptAnswer::Yes || !m_environment.uploadCopy) {
        finish(key);
        return;
    }
    QPointer<EditedCopies> self(this);
    m_environment.uploadCopy(copy.localPath, copy.origin.folder, copy.origin.name, [self, key](bool sent) {
        if (!self)
            return;
        // What the server holds now is the program's own upload, not someone else's change.
        if (sent) {
            self->readState(key, &EditedCopies::uploaded);
            return;
        }
        // Nothing arrived: the next save asks again, also one that leaves this content.
        self->m_watcher->forgetContent(self->m_copies[key].localPath);
        self->finish(key);
    });
}

void EditedCopies::uploaded(const QString& key, const RemoteFileState& now)
{
    m_copies[key].state = now;
    // Changes made while the upload ran are checked (and asked about) by finish().
    m_copies[key].unsent = false;
    finish(key);
}

void EditedCopies::finish(const QString& key)
{
    Copy& copy = m_copies[key];
    copy.busy = false;
    if (std::exchange(copy.changedMeanwhile, false))
        check(key);
}

bool EditedCopies::connectedTo(const ConnectionSettings& server) const
{
    return m_runner.isConnected() && m_environment.settings && serverKey(m_environment.settings()) == serverKey(server);
}

void EditedCopies::appendHistory(const QString& text, HistoryColour colour)
{
    if (m_environment.appendHistory)
        m_environment.appendHistory(text, colour);
}
