#include "UploadJob.h"

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
    bool sent = false;
    // The local file is opened first: one that cannot be read creates nothing on the server.
    if (!remoteName.isEmpty() && openRegularFile(file, localPath)) {
        const bool drivesBar = m_request.variant == UploadVariant::ContextMenu;
        const qint64 before = m_bytesDone;
        const QString folder = m_serverFolder;
        RetryingUpload::Record record;
        RetryingUpload upload(m_context, m_request.retry, [this, folder] { return reconnectForRetry(folder); });
        const QString shown = remoteName.startsWith(QLatin1Char('/')) ? remoteName : m_serverFolder + remoteName;
        // Where the protocol knows no text transfers, every upload goes byte for byte.
        const TransferFlag flag = m_session.hasTextTransfers() ? m_request.type.flagFor(remoteName) : TransferFlag::Binary;
        sent = upload.run(file, remoteName, flag, shown, record, m_habits,
                          [&](qint64 position, qint64 size) {
                              m_bytesDone = before + position;
                              if (drivesBar)
                                  m_context.progress(m_bytesDone, m_bytesTotal);
                              m_context.transferProgress(remoteName, position, size);
                          });
    }
    if (sent) {
        ++m_result.filesUploaded;
        m_context.appendHistory(getText("MPUB_UPOK"), HistoryColour::Green);
        return true;
    }
    ++m_result.filesFailed;
    m_context.appendHistory(getText("MPUB_UPFAILED"), HistoryColour::Red);
    return false;
}

bool UploadJob::reconnectForRetry(const QString& folder)
{
    m_session.closeConnection();
    return m_session.openConnection(m_request.settings) && m_session.setDir(folder);
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
