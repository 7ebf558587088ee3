#pragma once

#include "DownloadJob.h"
#include "JobRunner.h"
#include "UploadJob.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>

// Runs a download or an upload on a session thread of its own against a test server, the way the
// commands do, and records what it reports: history lines as "colour<TAB>text", progress,
// messages and the commands sent.
class JobHarness
{
public:
    struct Outcome {
        bool connected = false;
        bool finished = false; // everything ended in time
        QStringList lines;
        QList<QPair<qint64, qint64>> progress;
        QStringList messages;
        QStringList commands;     // "RETR a.txt", "CWD /pub", ...
        QString folderAfterwards; // the server's current folder once everything has ended
        DownloadResult download;
        UploadResult upload;

        // The arguments of every command verb sent ("RETR", "STOR"), in order.
        QStringList argumentsOf(const char* verb) const
        {
            QStringList result;
            for (const QString& command : commands) {
                if (command.startsWith(QLatin1String(verb) + QLatin1Char(' ')))
                    result.append(command.mid(static_cast<qsizetype>(qstrlen(verb)) + 1));
            }
            return result;
        }
    };
    using UploadWork = std::function<UploadResult(UploadJob&)>;
    // Sees every progress report with the handle of the job that made it.
    using ProgressWatch = std::function<void(const JobHandle& job, qint64 done)>;

    // Connections are made with settings.
    explicit JobHarness(ConnectionSettings settings)
        : m_settings(std::move(settings))
    {
    }

    // Connects (the server then stands in "/"; with no request.remoteFolder, not at all), calls
    // before (when given) on the test thread and downloads.
    Outcome download(const DownloadRequest& request, const std::function<void()>& before = {}) const;
    // Connects and changes to request.remoteFolder, calls before, then runs work (the selection
    // when none is given); a part a stop left is removed by a job of its own afterwards.
    Outcome upload(const UploadRequest& request, const UploadWork& work = {}, const std::function<void()>& before = {},
                   const ProgressWatch& watch = {}) const;

private:
    // Queues the job on runner and calls finish() from the continuation of the last job it needs.
    using Work = std::function<JobHandle(JobRunner& runner, Outcome& outcome, const std::function<void()>& finish)>;
    Outcome run(const QString& folder, bool connect, const std::function<void()>& before, const Work& work,
                const ProgressWatch& watch) const;

    ConnectionSettings m_settings;
};
