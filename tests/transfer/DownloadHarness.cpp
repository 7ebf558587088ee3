#include "DownloadHarness.h"

#include "FtpSession.h"
#include "JobContext.h"
#include "SessionRunner.h"

#include <QTest>

#include <memory>
#include <mutex>

namespace {

constexpr int downloadTimeoutMilliseconds = 120'000;

// The transcript is written on the session thread and read on the test thread once the job ended.
struct Transcript {
    std::mutex mutex;
    QStringList commands;
};

} // namespace

DownloadHarness::Outcome DownloadHarness::download(const std::optional<QString>& remoteFolder,
                                                   const QList<SelectedRow>& rows, const QString& targetFolder,
                                                   const std::function<void()>& beforeDownload) const
{
    Outcome outcome;
    auto transcript = std::make_shared<Transcript>();
    SessionRunner runner;
    runner.setMessageHandler([&outcome](const MessageRequest& request) {
        outcome.messages.append(request.text);
        return PromptAnswer::Ok;
    });
    QObject::connect(&runner, &SessionRunner::historyLine, [&outcome](const QString& text, HistoryColour colour) {
        outcome.lines.append(colourName(colour) + QLatin1Char('\t') + text);
    });
    QObject::connect(&runner, &SessionRunner::progressChanged,
                     [&outcome](qint64 done, qint64 total) { outcome.progress.append({done, total}); });

    bool ready = false;
    const ConnectionSettings settings = m_settings;
    runner.start<bool>(
        [settings, remoteFolder, transcript](JobContext& context) {
            context.session().setTranscript([transcript](const QString& line) {
                if (!line.startsWith(QLatin1String("> ")))
                    return;
                std::lock_guard lock(transcript->mutex);
                transcript->commands.append(line.mid(2));
            });
            return !remoteFolder || context.session().openConnection(settings);
        },
        [&](bool connected) {
            outcome.connected = connected;
            ready = true;
        });
    if (!QTest::qWaitFor([&] { return ready; }, downloadTimeoutMilliseconds))
        return outcome;
    if (beforeDownload)
        beforeDownload();

    bool done = false;
    DownloadRequest request{rows, remoteFolder.value_or(QString()), targetFolder, m_downloadSettings.value_or(settings)};
    runner.start<DownloadResult>(
        [request](JobContext& context) { return DownloadJob(context, request).downloadSelection(); },
        [&](DownloadResult result) { outcome.result = std::move(result); });
    runner.start<QString>([](JobContext& context) { return context.session().ftpCurrentDir(); },
                          [&](QString current) {
                              outcome.folderAfterwards = std::move(current);
                              done = true;
                          });
    outcome.finished = QTest::qWaitFor([&] { return done; }, downloadTimeoutMilliseconds);
    std::lock_guard lock(transcript->mutex);
    outcome.commands = transcript->commands;
    return outcome;
}
