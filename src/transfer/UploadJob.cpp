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
    m_result.anythingToDo = true;

    m_startFolder = m_request.remoteFolder.isEmpty() ? m_session.currentDir() : m_request.remoteFolder;
    const bool drivesBar = m_request.variant == UploadVariant::ContextMenu;
    if (drivesBar) {
        for (const UploadItem& item : std::as_const(m_items))
            m_bytesTotal += item.size;
        m_context.progress(0, m_bytesTotal);
    }
    for (const UploadItem& item : std::as_const(m_items)) {
        if (cancelled())
            break;
        if (drivesBar)
            m_context.progress(m_bytesDone, m_bytesTotal);
        uploadItem(item);
    }
    if (!cancelled() && m_session.isConnected() && !m_startFolder.isEmpty())
        m_session.setDir(m_startFolder);
    return m_result;
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

bool UploadJob::returnToStartFolder()
{
    if (m_connectionGone || !m_startFolder.startsWith(QLatin1Char('/')))
        return false;
    if (!ConnectionJobs::reconnectTo(m_context, m_request.settings, m_startFolder)) {
        // The user was told once; the items left fail without asking again.
        if (!m_session.isConnected())
            m_connectionGone = true;
        return false;
    }
    m_serverFolder = withTrailingSlash(m_startFolder);
    return true;
}

void UploadJob::uploadItem(const UploadItem& item)
{
    // The red line of the folder that could not be made stands for everything below it.
    if (isBelowFailedFolder(item)) {
        ++(item.isFolder() ? m_result.foldersFailed : m_result.filesFailed);
        return;
    }
    if (item.refusal != UploadItem::Refusal::None || !returnToStartFolder()) {
        reportFailure(item);
        return;
    }
    for (qsizetype i = 0; i < item.remoteFolders.size(); ++i) {
        const QString& name = item.remoteFolders.at(i);
        const bool ownFolder = item.isFolder() && i == item.remoteFolders.size() - 1;
        // Fails for a folder that exists, which is then used as it is.
        if (m_session.createDir(name)) {
            announceFolder(name);
            m_context.appendHistory(m_request.variant == UploadVariant::Main ? QStringLiteral("Status: Anlegen erfolgreich")
                                                                              : getText("FRMPULOC_GENOK"),
                                    HistoryColour::Green);
            // Everything stored into it is new.
            m_namesBefore.insert(m_serverFolder + name + QLatin1Char('/'), QSet<QString>());
            if (ownFolder)
                return;
        }
        // A folder item is entered only to see that it exists when it could not be created.
        if (!m_session.setDir(name)) {
            // Refused by a server that is still there: no permission, or a file of that name.
            if (ownFolder && m_session.isConnected())
                m_failedFolders.append(item.remoteFolders);
            reportFailure(item);
            return;
        }
        m_serverFolder += name + QLatin1Char('/');
    }
    if (item.isFolder())
        return;
    announceFile(item.localPath());
    uploadFile(item.localPath(), item.name);
}

bool UploadJob::uploadFile(const QString& localPath, const QString& remoteName)
{
    QFile file;
    std::unique_ptr<UploadStream> stream;
    bool createdByUs = false;
    // The local file is opened first: one that cannot be read creates nothing on the server.
    if (!remoteName.isEmpty() && openRegularFile(file, localPath)) {
        createdByUs = isNewName(remoteName);
        const TransferFlag flag = m_session.hasTextTransfers() ? m_request.type.flagFor(remoteName) : TransferFlag::Binary;
        stream = AsciiUploadFilter::forType(m_session.openForUpload(remoteName, flag), flag);
    }
    if (!stream) {
        ++m_result.filesFailed;
        m_context.appendHistory(getText("MPUB_UPFAILED"), HistoryColour::Red);
        return false;
    }
    const bool sent = sendContent(file, *stream, remoteName) && stream->close();
    stream.reset(); // breaks off a transfer that did not end
    // Whatever is there now is no longer a name this upload may remove.
    rememberStored(remoteName);
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
    const bool drivesBar = m_request.variant == UploadVariant::ContextMenu;
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
        m_bytesDone += read;
        fileDone += read;
        if (drivesBar)
            m_context.progress(m_bytesDone, m_bytesTotal);
        m_context.transferProgress(remoteName, fileDone, fileSize);
    }
}

bool UploadJob::isNewName(const QString& remoteName)
{
    // A name in another folder is not in this folder's listing.
    if (remoteName.contains(QLatin1Char('/')))
        return false;
    auto known = m_namesBefore.find(m_serverFolder);
    if (known == m_namesBefore.end()) {
        std::optional<QSet<QString>> names;
        if (const std::optional<QList<RemoteEntry>> entries = m_session.list()) {
            names.emplace();
            for (const RemoteEntry& entry : *entries)
                names->insert(entry.name.toCaseFolded());
        }
        known = m_namesBefore.insert(m_serverFolder, names);
    }
    return known->has_value() && !(*known)->contains(remoteName.toCaseFolded());
}

void UploadJob::rememberStored(const QString& remoteName)
{
    const auto known = m_namesBefore.find(m_serverFolder);
    if (known != m_namesBefore.end() && known->has_value())
        (*known)->insert(remoteName.toCaseFolded());
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

bool UploadJob::isBelowFailedFolder(const UploadItem& item) const
{
    return std::any_of(m_failedFolders.cbegin(), m_failedFolders.cend(), [&item](const QStringList& failed) {
        return item.remoteFolders.size() >= failed.size() && item.remoteFolders.mid(0, failed.size()) == failed;
    });
}

void UploadJob::reportFailure(const UploadItem& item)
{
    if (item.isFolder()) {
        ++m_result.foldersFailed;
        announceFolder(item.remoteFolders.isEmpty() ? QString() : item.remoteFolders.last());
        m_context.appendHistory(getText("FRMPULOC_GENFAIL"), HistoryColour::Red);
        return;
    }
    ++m_result.filesFailed;
    announceFile(item.localPath());
    m_context.appendHistory(getText("MPUB_UPFAILED"), HistoryColour::Red);
}

void UploadJob::announceFolder(const QString& name)
{
    if (m_request.variant == UploadVariant::Main)
        m_context.appendHistory(QStringLiteral("Aktion: Lege Verzeichnis ") + name + QStringLiteral(" an"));
    else
        m_context.appendHistory(getText("FRMPULOC_NEWDIR1") + QLatin1Char(' ') + name + getText("FRMPULOC_NEWDIR2"));
}

void UploadJob::announceFile(const QString& localPath)
{
    if (m_request.variant == UploadVariant::Main)
        m_context.appendHistory(QStringLiteral("Aktion: Starte Upload von ") + localPath);
    else
        m_context.appendHistory(getText("FRMPULOC_BEGUP") + QLatin1Char(' ') + localPath);
}

bool UploadJob::cancelled() const
{
    return m_context.isCancelled();
}
