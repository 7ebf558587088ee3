#include "UploadHarness.h"

#include "JobContext.h"
#include "SessionRunner.h"

#include <QTest>

#include <memory>
#include <mutex>

namespace {

constexpr int uploadTimeoutMilliseconds = 120'000;

// The transcript is written on the session thread and read on the test thread once all ended.
struct Transcript {
    std::mutex mutex;
    QStringList commands;
};

} // namespace

UploadHarness::Outcome UploadHarness::run(const UploadRequest& request, const Work& work,
                                          const std::function<void()>& beforeUpload,
                                          const std::function<void(const JobHandle&, qint64)>& onProgress) const
{
    Outcome outcome;
    auto transcript = std::make_shared<Transcript>();
    SessionRunner runner;
    JobHandle upload;
    runner.setMessageHandler([&outcome](const MessageRequest& message) {
        outcome.messages.append(message.text);
        return PromptAnswer::Ok;
    });
    QObject::connect(&runner, &SessionRunner::historyLine, [&outcome](const QString& text, HistoryColour colour) {
        outcome.lines.append(colourName(colour) + QLatin1Char('\t') + text);
    });
    QObject::connect(&runner, &SessionRunner::progressChanged, [&](qint64 done, qint64 total) {
        outcome.progress.append({done, total});
        if (onProgress)
            onProgress(upload, done);
    });

    bool ready = false;
    const ConnectionSettings settings = m_settings;
    const QString folder = request.remoteFolder;
    runner.start<bool>(
        [settings, folder, transcript](JobContext& context) {
            context.session().setTranscript([transcript](const QString& line) {
                if (!line.startsWith(QLatin1String("> ")))
                    return;
                std::lock_guard lock(transcript->mutex);
                transcript->commands.append(line.mid(2));
            });
            return context.session().openConnection(settings) && context.session().ftpSetDir(folder);
        },
        [&](bool connected) {
            outcome.connected = connected;
            ready = true;
        });
    if (!QTest::qWaitFor([&] { return ready; }, uploadTimeoutMilliseconds))
        return outcome;
    if (beforeUpload)
        beforeUpload();

    bool done = false;
    upload = runner.start<UploadResult>(
        [request, work](JobContext& context) {
            UploadJob job(context, request);
            return work(job);
        },
        [&](UploadResult result) {
            outcome.result = std::move(result);
            // As the command does: the part a stop left goes once the stop is over.
            if (!outcome.result.partialFile.isEmpty()) {
                runner.start([settings = request.settings, path = outcome.result.partialFile](JobContext& context) {
                    UploadJob::removePartialFile(context, settings, path);
                });
            }
            runner.start<QString>([](JobContext& context) { return context.session().ftpCurrentDir(); },
                                  [&](QString current) {
                                      outcome.folderAfterwards = std::move(current);
                                      done = true;
                                  });
        });
    outcome.finished = QTest::qWaitFor([&] { return done; }, uploadTimeoutMilliseconds);
    std::lock_guard lock(transcript->mutex);
    outcome.commands = transcript->commands;
    return outcome;
}
