#pragma once

#include "DownloadJob.h"
#include "FtpServerFixture.h"
#include "JobRunner.h"
#include "UploadJob.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// A server folder served by a loopback FTP server and a local folder, with downloads and uploads
// between them run the way the commands run them: the walk on a session thread of its own, then
// its items through a transfer queue with one worker (its own connection and thread). What they
// report is recorded: history lines as "colour<TAB>text", progress, messages and the commands sent
// on every connection. The texts are the German ones.
class JobHarness
{
public:
    struct Outcome {
        bool finished = false; // connected (when asked to) and everything ended in time
        QStringList lines;
        QList<QPair<qint64, qint64>> progress;
        QStringList messages;
        QStringList commands;     // "RETR a.txt", "CWD /pub", ...
        QString folderAfterwards; // the server's current folder once everything has ended
        DownloadResult download;
        UploadResult upload;
        QList<TransferItem> items; // as the queue holds them once everything ended

        // The arguments of every command verb sent ("RETR", "STOR"), in order.
        QStringList argumentsOf(const char* verb) const;
    };
    using UploadWork = std::function<UploadResult(UploadJob&)>;
    // Sees every progress report of the queue; true stops the queue.
    using ProgressWatch = std::function<bool(qint64 done)>;

    JobHarness();

    // Serves remote; false (with a warning) when the server did not come up, false too when
    // the texts could not be opened.
    bool startServer(const FtpServerFixture::Options& options = {});
    FtpServerFixture& server() { return *m_server; }
    // The keys of the lines about retries and resumes among lines, in order.
    static QStringList resumeKeys(const QStringList& lines);
    // Selected rows in list order; a name ending in "/" is a folder.
    static QList<SelectedRow> rows(std::initializer_list<const char*> names);
    // The contents of files below local or remote, "<missing>" for those that cannot be read.
    QList<QByteArray> localFiles(std::initializer_list<const char*> paths) const { return contents(local, paths); }
    QList<QByteArray> remoteFiles(std::initializer_list<const char*> paths) const { return contents(remote, paths); }

    // Each item as "SIZE PATH" or "folder PATH", its local path without folder in front.
    static QStringList describe(const QList<TransferItem>& items, const QString& folder);

    // Connects with the server's own values (not at all when request.remoteFolder is empty) and
    // stays in "/", calls before and downloads; request.settings serve the re-connections and the
    // queue's worker.
    Outcome download(const DownloadRequest& request, const std::function<void()>& before = {}) const;
    // Connects with request.settings and changes to request.remoteFolder, calls before, then runs
    // work (the selection, through the queue, when none is given).
    Outcome upload(const UploadRequest& request, const UploadWork& work = {}, const std::function<void()>& before = {},
                   const ProgressWatch& watch = {}) const;

    QString remote; // the served folder, ending in "/"
    QString local;  // ending in "/"

private:
    static QList<QByteArray> contents(const QString& folder, std::initializer_list<const char*> paths);
    // Runs on the session thread and fills in its part of the outcome.
    using Job = std::function<void(JobContext& context, Outcome& outcome)>;
    // Connects with settings (not at all when they are empty) and changes to folder, calls before,
    // runs job, then the items it gave through the queue (their transfers tried again as retry
    // says), and finally reads where the server stands.
    Outcome run(const ConnectionSettings& settings, const QString& folder, const std::function<void()>& before,
                const Job& job, RetrySettings retry, const ProgressWatch& watch = {}) const;
    static void runQueue(Outcome& outcome, QList<TransferItem> items, const QString& password, RetrySettings retry,
                         const ProgressWatch& watch);

    QTemporaryDir m_remoteDir;
    QTemporaryDir m_localDir;
    std::unique_ptr<FtpServerFixture> m_server;
};
