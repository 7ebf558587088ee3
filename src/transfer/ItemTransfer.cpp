#include "ItemTransfer.h"

#include "AsciiUploadFilter.h"
#include "ItemTexts.h"
#include "JobContext.h"
#include "RemoteOperations.h"
#include "TextCatalogue.h"
#include "TransferLedger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Opens path for reading when it is a plain file (a link to one counts). A FIFO or a device would
// block the upload or never end, a folder has no content: they are not files to send.
bool openRegularFile(QFile& file, const QString& path)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return false;
    struct stat info = {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)
        || !file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return false;
    }
    return true;
}

} // namespace

QueueProcessor::ItemJob ItemTransfer::makeJob(std::shared_ptr<TransferLedger> ledger)
{
    // The state lives as long as the worker's job, and only that worker's thread touches it.
    auto state = std::make_shared<WorkerState>();
    return [ledger = std::move(ledger), state](JobContext& context, const TransferItem& item,
                                               const ConnectionSettings& server) {
        return ItemTransfer(context, *state, *ledger, item, server).run();
    };
}

void ItemTransfer::removePartialFile(JobContext& context, const ConnectionSettings& server, const QString& path)
{
    RemoteOperations& session = context.session();
    const bool removed = (session.isConnected() || session.openConnection(server)) && session.remove(path);
    if (removed)
        context.appendHistory(getText("MPUB_PARTDELETED") + QLatin1Char(' ') + path);
    else
        context.appendHistory(getText("MPUB_PARTLEFT") + QLatin1Char(' ') + path, HistoryColour::Red);
}

ItemTransfer::ItemTransfer(JobContext& context, WorkerState& state, TransferLedger& ledger, const TransferItem& item,
                           const ConnectionSettings& server)
    : m_context(context)
    , m_session(context.session())
    , m_state(state)
    , m_ledger(ledger)
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
    const bool fetched = withConnection([&] { return changeToFolder(folder) && m_session.get(m_item.localPath, name, progress); });
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
    if (made) {
        m_ledger.folderMade(serverKey(m_server) + QLatin1Char('\n') + folder);
        line(ItemTexts::announce(m_item));
    } else if (!ready) {
        line(ItemTexts::announce(m_item));
    }
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
    std::unique_ptr<UploadStream> stream;
    // SFTP has no text transfers: its files go byte for byte, whatever the type chosen.
    const TransferFlag flag = m_server.protocol == Protocol::Sftp ? TransferFlag::Binary : m_item.flag;
    bool createdByUs = false;
    const QString folderKey = serverKey(m_server) + QLatin1Char('\n') + folder;
    withConnection([&] {
        if (!changeToFolder(folder))
            return false;
        const TransferLedger::Names before = m_ledger.namesBefore(folderKey, [this]() -> TransferLedger::Names {
            const std::optional<QList<RemoteEntry>> entries = m_session.list();
            if (!entries)
                return std::nullopt;
            QSet<QString> names;
            for (const RemoteEntry& entry : *entries)
                names.insert(entry.name.toCaseFolded());
            return names;
        });
        createdByUs = before.has_value() && !before->contains(name.toCaseFolded());
        stream = AsciiUploadFilter::forType(m_session.openForUpload(name, flag), flag);
        return stream != nullptr;
    });
    if (!stream)
        return ended(false, m_session.lastError());
    const bool sent = sendContent(file, *stream) && stream->close();
    stream.reset(); // breaks off a transfer that did not end
    // Whatever is there now is no longer a name the queue may remove.
    m_ledger.stored(folderKey, name);
    ItemOutcome outcome = ended(sent, m_session.lastError());
    if (!sent)
        removePartial(name, createdByUs, outcome);
    return outcome;
}

bool ItemTransfer::sendContent(QFile& file, UploadStream& stream)
{
    QByteArray block(blockSize, Qt::Uninitialized);
    const qint64 fileSize = file.size();
    for (;;) {
        if (cancelled())
            return false;
        const qint64 read = file.read(block.data(), block.size());
        if (read < 0)
            return false;
        if (read == 0)
            return true;
        if (!stream.write(block.constData(), read))
            return false;
        m_bytesDone += read;
        // A file of one block ends before its progress could be seen.
        if (fileSize > blockSize)
            m_context.transferProgress(m_item.remotePath, m_bytesDone, fileSize);
    }
}

void ItemTransfer::removePartial(const QString& name, bool createdByUs, ItemOutcome& outcome)
{
    if (outcome.end == ItemOutcome::End::Failed && !createdByUs) {
        line(getText("MPUB_PARTKEPT") + QLatin1Char(' ') + m_item.remotePath, HistoryColour::Red);
        return;
    }
    if (!createdByUs)
        return;
    // A stop ends every wait of the session at once; the removal waits until the stop is over.
    if (outcome.end == ItemOutcome::End::Stopped) {
        outcome.partialFile = m_item.remotePath;
        return;
    }
    if (m_session.isConnected() && m_session.remove(name))
        line(getText("MPUB_PARTDELETED") + QLatin1Char(' ') + m_item.remotePath);
    else
        line(getText("MPUB_PARTLEFT") + QLatin1Char(' ') + m_item.remotePath, HistoryColour::Red);
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
    const QString server = serverKey(m_server);
    if (m_session.isConnected() && m_state.server == server)
        return true;
    m_session.closeConnection();
    // A new connection stands in its start folder; the next step finds its way from there.
    m_state = {};
    if (m_session.openConnection(m_server)) {
        m_state.server = server;
        return true;
    }
    m_connectionFailure = cancelled() ? ItemOutcome::End::Stopped : ItemOutcome::End::NoConnection;
    m_identityRefused = m_session.connectFacts().tls == TlsOutcome::CertificateRefused;
    return false;
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
