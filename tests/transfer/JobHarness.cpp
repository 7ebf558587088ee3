#include "JobHarness.h"

#include "FtpOperations.h"
#include "JobContext.h"
#include "SessionRunner.h"

#include <QTest>

#include <memory>
#include <mutex>

namespace {

constexpr int timeoutMilliseconds = 120'000;

// The transcript is written on the session thread and read on the test thread once all ended.
struct Transcript {
    std::mutex mutex;
    QStringList commands;
};

} // namespace

JobHarness::Outcome JobHarness::run(const QString& folder, bool connect, const std::function<void()>& before,
                                    const Work& work, const ProgressWatch& watch) const
{
    Outcome outcome;
    auto transcript = std::make_shared<Transcript>();
    SessionRunner runner;
    JobHandle job;
    runner.setMessageHandler([&outcome](const MessageRequest& message) {
        outcome.messages.append(message.text);
        return PromptAnswer::Ok;
    });
    QObject::connect(&runner, &SessionRunner::historyLine, [&outcome](const QString& text, HistoryColour colour) {
        outcome.lines.append(colourName(colour) + QLatin1Char('\t') + text);
    });
    QObject::connect(&runner, &SessionRunner::progressChanged, [&](qint64 done, qint64 total) {
        outcome.progress.append({done, total});
        if (watch)
            watch(job, done);
    });

    bool ready = false;
    runner.start<bool>(
        [settings = m_settings, folder, connect, transcript](JobContext& context) {
            context.session().setTranscript([transcript](const QString& line) {
                if (!line.startsWith(QLatin1String("> ")))
                    return;
                std::lock_guard lock(transcript->mutex);
                transcript->commands.append(line.mid(2));
            });
            return !connect
                || (context.session().openConnection(settings)
                    && (folder.isEmpty() || context.session().ftpSetDir(folder)));
        },
        [&](bool connected) {
            outcome.connected = connected;
            ready = true;
        });
    if (!QTest::qWaitFor([&] { return ready; }, timeoutMilliseconds))
        return outcome;
    if (before)
        before();

    bool done = false;
    job = work(runner, outcome, [&] {
        runner.start<QString>([](JobContext& context) { return context.session().ftpCurrentDir(); },
                              [&](QString current) {
                                  outcome.folderAfterwards = std::move(current);
                                  done = true;
                              });
    });
    outcome.finished = QTest::qWaitFor([&] { return done; }, timeoutMilliseconds);
    std::lock_guard lock(transcript->mutex);
    outcome.commands = transcript->commands;
    return outcome;
}

JobHarness::Outcome JobHarness::download(const DownloadRequest& request, const std::function<void()>& before) const
{
    return run({}, !request.remoteFolder.isEmpty(), before,
               [&request](JobRunner& runner, Outcome& outcome, const auto& finish) {
                   const JobHandle job = runner.start<DownloadResult>(
                       [request](JobContext& context) { return DownloadJob(context, request).downloadSelection(); },
                       [&outcome](DownloadResult result) { outcome.download = std::move(result); });
                   finish();
                   return job;
               },
               {});
}

JobHarness::Outcome JobHarness::upload(const UploadRequest& request, const UploadWork& work,
                                       const std::function<void()>& before, const ProgressWatch& watch) const
{
    return run(request.remoteFolder, true, before, [&](JobRunner& runner, Outcome& outcome, const auto& finish) {
        return runner.start<UploadResult>(
            [request, work](JobContext& context) {
                UploadJob job(context, request);
                return work ? work(job) : job.uploadSelection();
            },
            [&runner, &outcome, &request, finish](UploadResult result) {
                outcome.upload = std::move(result);
                // As the command does: the part a stop left goes once the stop is over.
                if (!outcome.upload.partialFile.isEmpty()) {
                    runner.start([settings = request.settings, path = outcome.upload.partialFile](JobContext& context) {
                        UploadJob::removePartialFile(context, settings, path);
                    });
                }
                finish();
            });
    }, watch);
}
