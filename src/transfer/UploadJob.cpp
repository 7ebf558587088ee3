#include "UploadJob.h"

#include "ConnectionJobs.h"
#include "DownloadPaths.h"
#include "JobContext.h"
#include "RegularFile.h"
#include "TextCatalogue.h"
#include "UploadWalk.h"

#include <QFile>

#include <algorithm>

UploadJob::UploadJob(JobContext& context, UploadRequest request)
    : m_context(context)
    , m_session(context.session())
    , m_request(std::move(request))
{
    m_request.sourceFolder = DownloadPaths::withTrailingSlash(m_request.sourceFolder);
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
        folder = DownloadPaths::withTrailingSlash(folder) + name;
    if (item.isFolder()) {
        queued.localPath = item.localFolder.chopped(1);
        queued.remotePath = folder;
        queued.shownName = item.remoteFolders.isEmpty() ? QString() : item.remoteFolders.last();
    } else {
        queued.localPath = item.localPath();
        queued.remotePath = DownloadPaths::withTrailingSlash(folder) + item.name;
        queued.shownName = item.localPath();
        queued.size = item.size;
        // Where the protocol knows no text transfers, every upload goes byte for byte.
        queued.flag = m_session.hasTextTransfers() ? m_request.type.flagFor(item.name) : TransferFlag::Binary;
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
    m_serverFolder = DownloadPaths::withTrailingSlash(m_startFolder.isEmpty() ? m_session.currentDir() : m_startFolder);
    uploadFile(localPath, newName);
    return m_result;
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

bool UploadJob::cancelled() const
{
    return m_context.isCancelled();
}
