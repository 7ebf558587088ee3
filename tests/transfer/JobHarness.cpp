#include "JobHarness.h"

#include "ItemTransfer.h"
#include "QueueProcessor.h"
#include "TransferLedger.h"
#include "TransferQueue.h"

#include <mutex>

#include "JobContext.h"
#include "RemoteOperations.h"
#include "SessionMaker.h"
#include "SessionRunner.h"
#include "TestHelpers.h"

QStringList JobHarness::Outcome::argumentsOf(const char* verb) const
{
    QStringList result;
    const QString prefix = QLatin1String(verb) + QLatin1Char(' ');
    for (const QString& command : commands) {
        if (command.startsWith(prefix))
            result.append(command.mid(prefix.size()));
    }
    return result;
}

JobHarness::JobHarness()
{
    useCatalogue("deutsch");
    remote = m_remoteDir.path() + QLatin1Char('/');
    local = m_localDir.path() + QLatin1Char('/');
}

bool JobHarness::startServer(const FtpServerFixture::Options& options)
{
    m_server = std::make_unique<FtpServerFixture>(options);
    const bool started = m_server->start(remote) != 0;
    if (!started)
        qWarning("%s", qPrintable(m_server->errorText()));
    return started && TextCatalogue::instance().isOpen();
}

QStringList JobHarness::describe(const QList<TransferItem>& items, const QString& folder)
{
    QStringList described;
    for (const TransferItem& item : items)
        described.append((item.isFolder ? QStringLiteral("folder") : QString::number(item.size)) + QLatin1Char(' ')
                         + item.localPath.mid(folder.size()));
    return described;
}

QList<SelectedRow> JobHarness::rows(std::initializer_list<const char*> names)
{
    QList<SelectedRow> result;
    for (const char* name : names) {
        const QString text = QString::fromUtf8(name);
        const bool folder = text.endsWith(QLatin1Char('/'));
        result.append({folder ? text.chopped(1) : text, folder});
    }
    return result;
}

QStringList JobHarness::resumeKeys(const QStringList& lines)
{
    QStringList keys;
    for (const QString& line : lines) {
        for (const char* key : {"RETRY_LINE", "RESUME_CHANGED", "RESUME_REFUSED", "RESUME_TEXT", "RESUME_FROM",
                                "RESUME_PARTKEPT", "RESUME_TEMPKEPT", "RESUME_OLDREPLACED", "RESUME_NORENAME",
                                "RESUME_NOREPLACE"}) {
            if (line.contains(getText(key).section(QLatin1Char('%'), 0, 0)))
                keys.append(QString::fromLatin1(key));
        }
    }
    return keys;
}

QList<QByteArray> JobHarness::contents(const QString& folder, std::initializer_list<const char*> paths)
{
    QList<QByteArray> result;
    for (const char* path : paths)
        result.append(readFile(folder + QString::fromUtf8(path)));
    return result;
}

namespace {

// Collects the commands sent on a connection (the transcript's "> " lines); several connections
// may write at once.
std::function<void(const QString&)> commandsInto(QStringList& commands, std::shared_ptr<std::mutex> lock)
{
    return [&commands, lock](const QString& line) {
        if (!line.startsWith(QLatin1String("> ")))
            return;
        std::lock_guard guard(*lock);
        commands.append(line.mid(2));
    };
}

} // namespace

JobHarness::Outcome JobHarness::run(const ConnectionSettings& settings, const QString& folder,
                                    const std::function<void()>& before, const Job& job, RetrySettings retry,
                                    const ProgressWatch& watch) const
{
    Outcome outcome;
    SessionRunner runner(makeSession);
    runner.setMessageHandler([&outcome](const MessageRequest& message) {
        outcome.messages.append(message.text);
        return PromptAnswer::Ok;
    });
    QObject::connect(&runner, &SessionRunner::historyLine, recorderOf(outcome.lines));
    // Without settings, no connection: the job meets a session that has none.
    bool connected = settings.host.isEmpty();
    auto lock = std::make_shared<std::mutex>();
    // Written on the session thread; read, like the job's result, only once everything ended.
    runner.start([&connected, &outcome, settings, folder, lock](JobContext& context) {
        context.session().setTranscript(commandsInto(outcome.commands, lock));
        if (!connected)
            connected = context.session().openConnection(settings)
                        && (folder.isEmpty() || context.session().setDir(folder));
    });
    if (!waitIdle(runner) || !connected)
        return outcome;
    if (before)
        before();

    // The job writes its result into outcome, which the test reads only once everything ended.
    runner.start([&outcome, job](JobContext& context) { job(context, outcome); });
    if (!waitIdle(runner))
        return outcome;
    const QList<TransferItem> items = outcome.download.items + outcome.upload.items;
    outcome.finished = true;
    if (!items.isEmpty())
        runQueue(outcome, items, settings.password, retry, watch);
    runner.start([&outcome](JobContext& context) {
        outcome.folderAfterwards = context.session().currentDir();
    });
    outcome.finished = waitIdle(runner) && outcome.finished;
    return outcome;
}

void JobHarness::runQueue(Outcome& outcome, QList<TransferItem> items, const QString& password, RetrySettings retry,
                          const ProgressWatch& watch)
{
    TransferQueue queue;
    queue.setParallel(1);
    auto lock = std::make_shared<std::mutex>();
    auto ledger = std::make_shared<TransferLedger>();
    QueueProcessor::Work work;
    work.makeWorker = [&outcome, lock] {
        auto worker = std::make_unique<SessionRunner>(makeSession);
        worker->start([&outcome, lock](JobContext& context) { context.session().setTranscript(commandsInto(outcome.commands, lock)); });
        return std::unique_ptr<JobRunner>(std::move(worker));
    };
    work.makeItemJob = [ledger, retry] { return ItemTransfer::makeJob(ledger, retry); };
    QueueProcessor processor(queue, std::move(work));
    QObject::connect(&processor, &QueueProcessor::historyLine, recorderOf(outcome.lines));
    processor.setNoConnectionNotice([&outcome](const QString& reason) { outcome.messages.append(reason); });
    QObject::connect(&processor, &QueueProcessor::progressChanged, [&](qint64 done, qint64 total) {
        outcome.progress.append({done, total});
        if (watch && watch(done))
            processor.stop();
    });
    QSignalSpy idle(&processor, &QueueProcessor::idle);
    processor.add(std::move(items), password);
    outcome.finished = idle.size() > 0 || idle.wait(jobTimeout);
    outcome.items = queue.items();
    processor.shutdown();
}

JobHarness::Outcome JobHarness::download(const DownloadRequest& request, const std::function<void()>& before) const
{
    const Job job = [request](JobContext& context, Outcome& outcome) {
        outcome.download = DownloadJob(context, request).downloadSelection();
    };
    // The server stands in "/" when the download starts.
    const bool connect = !request.remoteFolder.isEmpty();
    return run(connect ? settingsOf(*m_server, request.settings.ftp.passive) : ConnectionSettings{}, {}, before, job,
               request.retry);
}

JobHarness::Outcome JobHarness::upload(const UploadRequest& request, const UploadWork& work,
                                       const std::function<void()>& before, const ProgressWatch& watch) const
{
    const Job job = [request, work](JobContext& context, Outcome& outcome) {
        UploadJob upload(context, request);
        outcome.upload = work ? work(upload) : upload.uploadSelection();
    };
    return run(request.settings, request.remoteFolder, before, job, request.retry, watch);
}
