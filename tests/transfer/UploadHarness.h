#pragma once

#include "FtpOperations.h"
#include "JobRunner.h"
#include "UploadJob.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>

// Runs an upload on a session thread of its own against a test server, the way the upload
// command does (a partial file a stop left is removed by a job of its own afterwards), and
// records what it reports: history lines as "colour<TAB>text", progress, messages and the
// commands sent.
class UploadHarness
{
public:
    struct Outcome {
        bool connected = false;
        bool finished = false;    // the upload ended in time
        QStringList lines;
        UploadResult result;
        QList<QPair<qint64, qint64>> progress;
        QStringList messages;
        QStringList commands;     // "STOR a.txt", "CWD /pub", ...
        QString folderAfterwards; // the server's current folder once everything has ended
    };
    using Work = std::function<UploadResult(UploadJob&)>;

    explicit UploadHarness(ConnectionSettings settings)
        : m_settings(std::move(settings))
    {
    }

    // Connects with the harness's settings and changes to request.remoteFolder, calls
    // beforeUpload (when given) on the test thread, then runs work on a job made from request.
    // onProgress (when given) sees every progress report with the upload's handle.
    Outcome run(const UploadRequest& request, const Work& work, const std::function<void()>& beforeUpload = {},
                const std::function<void(const JobHandle&, qint64 done)>& onProgress = {}) const;

    // uploadSelection() of rows from sourceFolder.
    Outcome uploadSelection(const UploadRequest& request, const std::function<void()>& beforeUpload = {}) const
    {
        return run(request, [](UploadJob& job) { return job.uploadSelection(); }, beforeUpload);
    }

private:
    ConnectionSettings m_settings;
};
