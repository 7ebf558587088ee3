#include "ItemTransfer.h"

#include "ItemTexts.h"
#include "JobContext.h"
#include "RegularFile.h"
#include "RemoteOperations.h"
#include "RetryingDownload.h"
#include "TextCatalogue.h"
#include "TransferLedger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The folder part of an absolute server path ("/" for a name in the root) and the name.
QString folderOf(const QString& path)
{
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    return cut <= 0 ? QStringLiteral("/") : path.left(cut);
}

QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString withoutTrailingSlash(const QString& path)
{
    return path.size() > 1 && path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path;
}

} // namespace

QueueProcessor::ItemJob ItemTransfer::makeJob(std::shared_ptr<TransferLedger> ledger, RetrySettings retry)
{
    return makeJob(std::move(ledger), [retry] { return retry; });
}

QueueProcessor::ItemJob ItemTransfer::makeJob(std::shared_ptr<TransferLedger> ledger, std::function<RetrySettings()> retry)
{
    // The state lives as long as the worker's job, and only that worker's thread touches it.
    auto state = std::make_shared<WorkerState>();
    return [ledger = std::move(ledger), state, retry = std::move(retry)](JobContext& context, const TransferItem& item,
                                                                         const ConnectionSettings& server) {
        return ItemTransfer(context, *state, *ledger, retry(), item, server).run();
    };
}

ItemTransfer::ItemTransfer(JobContext& context, WorkerState& state, TransferLedger& ledger, RetrySettings retry,
                           const TransferItem& item, const ConnectionSettings& server)
    : m_context(context)
    , m_session(context.session())
    , m_state(state)
    , m_ledger(ledger)
    , m_retry(retry)
    , m_item(item)
    , m_server(server)
{
}

ItemOutcome ItemTransfer::run()
{
    if (cancelled())
        return {};
    ItemOutcome outcome;
    if (m_item.isDownload())
        outcome = m_item.isFolder ? downloadFolder() : downloadFile();
    else
        outcome = m_item.isFolder ? uploadFolder() : uploadFile();
    outcome.linesBefore = std::move(m_linesBefore);
    outcome.lines = std::move(m_lines);
    return outcome;
}

void ItemTransfer::line(const QString& text, HistoryColour colour)
{
    m_lines.append({text, colour});
}

ItemOutcome ItemTransfer::downloadFolder()
{
    const QFileInfo local(m_item.localPath);
    // Anything of that name counts as there (a local twin gets no lines); a plain file in the way
    // fails the files inside.
    ItemOutcome outcome;
    outcome.end = ItemOutcome::End::Failed;
    if (!local.exists() && !makeLocalFolder(m_item.localPath)) {
        outcome.reason = getText("QUEUE_REASON_MKDIR"); // its lines are written
        return outcome;
    }
    if (m_item.refusal == TransferRefusal::Unlisted) {
        line(ItemTexts::announce(m_item));
        return ended(false, ItemTexts::refusalReason(m_item.refusal));
    }
    if (QFileInfo(m_item.localPath).isDir())
        outcome.end = ItemOutcome::End::Done;
    else
        outcome.reason = getText("QUEUE_REASON_MKDIR");
    return outcome;
}

bool ItemTransfer::makeLocalFolder(const QString& path)
{
    const bool made = QDir().mkpath(path) && QFileInfo(path).isDir();
    line(getText("MDOWN_FOLDNEW") + QLatin1Char(' ') + path + getText("MDOWN_AN"));
    if (made)
        line(getText("MDOWN_CREATEOK"), HistoryColour::Green);
    else
        line(getText("FRMPULOC_GENFAIL"), HistoryColour::Red);
    return made;
}

ItemOutcome ItemTransfer::downloadFile()
{
    const QString localFolder = QFileInfo(m_item.localPath).path();
    // The folder of the worker's last file is not looked at again: most items share it.
    const bool folderReady = m_state.localFolder == localFolder || QFileInfo(localFolder).isDir() || makeLocalFolder(localFolder);
    m_state.localFolder = folderReady ? localFolder : QString();
    line(ItemTexts::announce(m_item));
    if (!folderReady)
        return ended(false, getText("QUEUE_REASON_FOLDER"));
    // Two items of one command never end in one local file (a name listed twice, names that differ
    // only in case on a file system that ignores case): the first one stays.
    if (m_ledger.isWritten(m_item.batch, m_item.localPath))
        return ended(false, getText("QUEUE_REASON_TWICE"));
    // Large files show their bytes. Asking the server the size costs a round trip, which only files
    // of some size can afford.
    constexpr qint64 shownSize = 1024 * 1024;
    RemoteOperations::Progress progress;
    if (m_item.size >= shownSize) {
        progress = [this](qint64 done, qint64 total) {
            m_bytesDone = done;
            m_context.transferProgress(m_item.remotePath, done, total > 0 ? total : m_item.size);
        };
    }
    const QString folder = folderOf(m_item.remotePath);
    const QString name = nameOf(m_item.remotePath);
    bool fetched = false;
    if (withConnection([&] { return changeToFolder(folder); })) {
        transferStarts();
        RetryingDownload::Record record{m_item.partialPath, factsAtStart()};
        RetryingDownload download(m_context, m_retry, [this, folder] { return reconnectInto(folder); });
        // A size not known (below 0) may be large.
        const bool large = m_item.size >= RetryingDownload::resumableSize || m_item.size < 0;
        const auto resume = large ? RetryingDownload::Resume::FromPartial : RetryingDownload::Resume::Never;
        fetched = download.run(name, m_item.localPath, m_item.remotePath, record, resume, progress);
        keepRecord(record.partialPath, record.remoteAtStart);
    }
    if (fetched)
        m_bytesDone = m_ledger.written(m_item.batch, m_item.localPath);
    else
        m_state.localFolder.clear(); // it may be the folder that went
    return ended(fetched, m_session.lastError());
}

ItemOutcome ItemTransfer::uploadFolder()
{
    const QString folder = withoutTrailingSlash(m_item.remotePath);
    const QString parent = folderOf(folder);
    const QString name = nameOf(folder);
    bool made = false;
    // Fails for a folder that exists, which is then used as it is.
    const bool ready = withConnection([&] {
        if (!changeToFolder(parent))
            return false;
        made = m_session.createDir(name);
        if (made)
            return true;
        if (!m_session.setDir(name))
            return false;
        m_state.folder = folder;
        return true;
    });
    if (m_connectionFailure)
        return ended(false);
    if (made || !ready)
        line(ItemTexts::announce(m_item));
    if (!made && ready) {
        ItemOutcome outcome;
        outcome.end = ItemOutcome::End::Done;
        return outcome;
    }
    return ended(made, m_session.lastError());
}

ItemOutcome ItemTransfer::uploadFile()
{
    const QString folder = folderOf(m_item.remotePath);
    const QString name = nameOf(m_item.remotePath);
    line(ItemTexts::announce(m_item));
    QFile file;
    // The local file is opened first: one that cannot be read creates nothing on the server.
    if (!openRegularFile(file, m_item.localPath))
        return ended(false, getText("QUEUE_REASON_LOCALREAD"));
    bool sent = false;
    if (withConnection([&] { return changeToFolder(folder); })) {
        transferStarts();
        // Where the protocol knows no text transfers, every upload goes byte for byte.
        const TransferFlag flag = m_session.hasTextTransfers() ? m_item.flag : TransferFlag::Binary;
        RetryingUpload::Record record{m_item.partialPath, factsAtStart()};
        RetryingUpload upload(m_context, m_retry, [this, folder] { return reconnectInto(folder); });
        sent = upload.run(file, name, flag, m_item.remotePath, record, m_state.habits[accountKey(m_server)],
                          [this](qint64 position, qint64 size) {
                              m_bytesDone = position;
                              // A file of one block ends before its progress could be seen.
                              if (size > RetryingUpload::blockSize)
                                  m_context.transferProgress(m_item.remotePath, position, size);
                          });
        keepRecord(record.temporaryName, record.localAtStart);
    }
    return ended(sent, m_session.lastError());
}

bool ItemTransfer::withConnection(const std::function<bool()>& step)
{
    if (!connect())
        return false;
    if (step())
        return true;
    if (m_session.isConnected() || cancelled())
        return false;
    return connect() && step();
}

bool ItemTransfer::connect()
{
    const QString server = accountKey(m_server);
    if (m_session.isConnected() && m_state.server == server)
        return true;
    m_session.closeConnection();
    // A new connection stands in its start folder; the next step finds its way from there.
    m_state.server.clear();
    m_state.folder.clear();
    if (m_session.openConnection(m_server)) {
        m_state.server = server;
        return true;
    }
    m_connectionFailure = cancelled() ? ItemOutcome::End::Stopped : ItemOutcome::End::NoConnection;
    const ConnectFacts facts = m_session.connectFacts();
    m_identityRefused = facts.tls == TlsOutcome::CertificateRefused || facts.hostKey == HostKeyOutcome::Refused;
    return false;
}

bool ItemTransfer::reconnectInto(const QString& folder)
{
    m_session.closeConnection();
    m_state.server.clear();
    m_state.folder.clear();
    if (!m_session.openConnection(m_server))
        return false;
    m_state.server = accountKey(m_server);
    return changeToFolder(folder);
}

RemoteFileFacts ItemTransfer::factsAtStart() const
{
    RemoteFileFacts facts;
    if (m_item.remoteSizeAtStart >= 0)
        facts.size = m_item.remoteSizeAtStart;
    facts.modified = m_item.remoteTimeAtStart;
    return facts;
}

void ItemTransfer::keepRecord(const QString& partialPath, const RemoteFileFacts& atStart)
{
    m_record = ItemOutcome::Record{partialPath, atStart.size.value_or(-1), atStart.modified};
}

void ItemTransfer::transferStarts()
{
    m_linesBefore += std::move(m_lines);
    m_lines.clear();
}

bool ItemTransfer::changeToFolder(const QString& folder)
{
    if (m_state.folder == folder)
        return true;
    m_state.folder.clear(); // not known when the change fails
    if (!m_session.setDir(folder))
        return false;
    m_state.folder = folder;
    return true;
}

ItemOutcome ItemTransfer::ended(bool success, const QString& reason)
{
    ItemOutcome outcome;
    outcome.bytesDone = m_bytesDone;
    outcome.record = m_record;
    if (cancelled())
        return outcome; // Stopped: the item waits again; its lines are not written
    if (m_connectionFailure) {
        outcome.end = *m_connectionFailure;
        outcome.reason = m_session.lastError();
        outcome.identityRefused = m_identityRefused;
        return outcome;
    }
    if (success) {
        outcome.end = ItemOutcome::End::Done;
        line(ItemTexts::succeeded(m_item), HistoryColour::Green);
    } else {
        outcome.end = ItemOutcome::End::Failed;
        outcome.reason = reason;
        line(ItemTexts::failed(m_item), HistoryColour::Red);
    }
    return outcome;
}

bool ItemTransfer::cancelled() const
{
    return m_context.isCancelled();
}
