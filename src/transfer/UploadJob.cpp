#include "UploadJob.h"

#include "AsciiUploadFilter.h"
#include "ConnectionJobs.h"
#include "JobContext.h"
#include "TextCatalogue.h"
#include "UploadWalk.h"

#include <QFile>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString withTrailingSlash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
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

UploadJob::UploadJob(JobContext& context, UploadRequest request)
    : m_context(context)
    , m_session(context.session())
    , m_request(std::move(request))
{
    m_request.sourceFolder = withTrailingSlash(m_request.sourceFolder);
}

UploadResult UploadJob::uploadSelection()
{
    m_items = UploadWalk::collectSelection(m_request.sourceFolder, m_request.rows);
    const qsizetype selected = m_items.size();
    for (qsizetype i = 0; i < selected && !cancelled(); ++i) {
        // A copy: the walk appends to the list the item lives in.
        const UploadItem item = m_items.at(i);
        if (item.isFolder() && item.refusal == UploadItem::Refusal::None)
            UploadWalk::walkLocalFolder(item, m_items, [this] { return cancelled(); });
    }
    if (m_items.isEmpty() || cancelled())
        return m_result;
    m_startFolder = m_request.remoteFolder.isEmpty() ? m_session.currentDir() : m_request.remoteFolder;
    // Without a folder to start from, nothing can be placed.
    if (!m_startFolder.startsWith(QLatin1Char('/')))
        return m_result;
    m_result.anythingToDo = true;
    for (const UploadItem& item : std::as_const(m_items))
        m_result.items.append(queueItem(item));
    return m_result;
}

TransferItem UploadJob::queueItem(const UploadItem& item) const
{
    TransferItem queued;
    queued.direction = TransferDirection::Upload;
    queued.texts = m_request.variant == UploadVariant::Main ? TransferTexts::Upload : TransferTexts::UploadFromMenu;
    queued.server = m_request.settings;
    queued.server.password.clear();
    // The workers keep the encryption this connection has: they never fall back to plain text.
    if (m_session.connectFacts().tls == TlsOutcome::Encrypted)
        queued.server.ftp.encryption = FtpSettings::Encryption::Required;
    queued.isFolder = item.isFolder();
    QString folder = m_startFolder;
    for (const QString& name : item.remoteFolders)
        folder = withTrailingSlash(folder) + name;
    if (item.isFolder()) {
        queued.localPath = item.localFolder.chopped(1);
        queued.remotePath = folder;
        queued.shownName = item.remoteFolders.isEmpty() ? QString() : item.remoteFolders.last();
    } else {
        queued.localPath = item.localPath();
        queued.remotePath = withTrailingSlash(folder) + item.name;
        queued.shownName = item.localPath();
        queued.size = item.size;
        queued.flag = m_request.type.flagFor(item.name);
    }
    if (item.refusal == UploadItem::Refusal::FolderLink)
        queued.refusal = TransferRefusal::FolderLink;
    else if (item.refusal == UploadItem::Refusal::UnencodableName)
        queued.refusal = TransferRefusal::UnencodableName;
    return queued;
}

UploadResult UploadJob::uploadAs(const QString& localName, const QString& newName)
{
    m_context.appendHistory(QStringLiteral("Aktion: Starte Upload von ") + localName + QStringLiteral(" als ") + newName);
    const QString localPath = m_request.sourceFolder + localName;
    if (!UploadWalk::isExactLocalName(m_request.sourceFolder, localName)) {
        ++m_result.filesFailed;
        m_context.appendHistory(getText("MPUB_UPFAILED"), HistoryColour::Red);
        return m_result;
    }
    QFile file;
    if (openRegularFile(file, localPath) && file.size() == 0) {
        m_context.appendHistory(QStringLiteral("Status: Upload fehlgeschlagen (Größe der Datei: 0 Byte)"),
                                HistoryColour::Red);
        return m_result;
    }
    file.close();
    m_result.anythingToDo = true;
    m_startFolder = m_request.remoteFolder;
    // The file goes where the pane shows, or nowhere.
    if (!m_startFolder.isEmpty() && !m_session.setDir(m_startFolder)) {
        ++m_result.filesFailed;
        m_context.appendHistory(getText("MPUB_UPFAILED"), HistoryColour::Red);
        return m_result;
    }
    m_serverFolder = withTrailingSlash(m_startFolder.isEmpty() ? m_session.currentDir() : m_startFolder);
    uploadFile(localPath, newName);
    return m_result;
}

bool UploadJob::uploadFile(const QString& localPath, const QString& remoteName)
{
    QFile file;
    std::unique_ptr<UploadStream> stream;
    bool createdByUs = false;
    // The local file is opened first: one that cannot be read creates nothing on the server.
    if (!remoteName.isEmpty() && openRegularFile(file, localPath)) {
        createdByUs = isNewName(remoteName);
        const TransferFlag flag = m_request.type.flagFor(remoteName);
        stream = AsciiUploadFilter::forType(m_session.openForUpload(remoteName, flag), flag);
    }
    if (!stream) {
        ++m_result.filesFailed;
        m_context.appendHistory(getText("MPUB_UPFAILED"), HistoryColour::Red);
        return false;
    }
    const bool sent = sendContent(file, *stream, remoteName) && stream->close();
    stream.reset(); // breaks off a transfer that did not end
    if (sent) {
        ++m_result.filesUploaded;
        m_context.appendHistory(getText("MPUB_UPOK"), HistoryColour::Green);
        return true;
    }
    ++m_result.filesFailed;
    m_context.appendHistory(getText("MPUB_UPFAILED"), HistoryColour::Red);
    removePartial(remoteName, createdByUs);
    return false;
}

bool UploadJob::sendContent(QFile& file, UploadStream& stream, const QString& remoteName)
{
    QByteArray block(blockSize, Qt::Uninitialized);
    const qint64 fileSize = file.size();
    qint64 fileDone = 0;
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
        fileDone += read;
        m_context.transferProgress(remoteName, fileDone, fileSize);
    }
}

bool UploadJob::isNewName(const QString& remoteName)
{
    // A name in another folder is not in this folder's listing.
    if (remoteName.contains(QLatin1Char('/')))
        return false;
    const std::optional<QList<RemoteEntry>> entries = m_session.list();
    if (!entries)
        return false;
    // Some servers ignore case.
    return std::none_of(entries->cbegin(), entries->cend(), [&remoteName](const RemoteEntry& entry) {
        return entry.name.toCaseFolded() == remoteName.toCaseFolded();
    });
}

void UploadJob::removePartial(const QString& remoteName, bool createdByUs)
{
    const QString path = remoteName.startsWith(QLatin1Char('/')) ? remoteName : m_serverFolder + remoteName;
    if (!createdByUs) {
        m_context.appendHistory(getText("MPUB_PARTKEPT") + QLatin1Char(' ') + path, HistoryColour::Red);
        return;
    }
    // A stop ends every wait of the session at once; the removal waits until the stop is over.
    if (cancelled()) {
        m_result.partialFile = path;
        return;
    }
    if (m_session.isConnected() && m_session.remove(remoteName))
        m_context.appendHistory(getText("MPUB_PARTDELETED") + QLatin1Char(' ') + path);
    else
        m_context.appendHistory(getText("MPUB_PARTLEFT") + QLatin1Char(' ') + path, HistoryColour::Red);
}

bool UploadJob::removePartialFile(JobContext& context, const ConnectionSettings& settings, const QString& path)
{
    const bool removed = ConnectionJobs::reconnect(context, settings) && context.session().remove(path);
    if (removed)
        context.appendHistory(getText("MPUB_PARTDELETED") + QLatin1Char(' ') + path);
    else
        context.appendHistory(getText("MPUB_PARTLEFT") + QLatin1Char(' ') + path, HistoryColour::Red);
    return removed;
}

bool UploadJob::cancelled() const
{
    return m_context.isCancelled();
}
