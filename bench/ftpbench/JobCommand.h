#pragma once

#include "ConnectionSettings.h"
#include "RetryPolicy.h"
#include "SelectedRow.h"
#include "SessionMaker.h"
#include "SessionRunner.h"
#include "SshOptions.h"
#include "TlsOptions.h"
#include "TransferItem.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTextStream>

#include <functional>

// What the ftpbench commands that run a job (download, upload, rdelete) share: their options,
// the connection values, the names to work on, a session runner that prints every history line as
// COLOUR<TAB>text, and the connect into the remote folder the job starts in, as the remote pane
// would show it.
class JobCommand
{
public:
    // name: the command's name; operands: the words after HOST PORT USER PASS, and options: the
    // command's own options, for the usage line.
    JobCommand(const char* name, QString operands, QString options = {});

    // Reads [--passive] [--tls ...] [--trust ...] [--protocol ...] [--hostkey ...] [--key ...] (and
    // what extraOption takes: it returns true when it took rest.first(), with problem set when that
    // was malformed), then HOST PORT USER PASS and at least minimumOperands more words, which stay
    // in operands(). False after the usage.
    using ExtraOption = std::function<bool(QStringList& rest, QString& problem)>;
    bool parse(const QStringList& arguments, int minimumOperands, const ExtraOption& extraOption = {});
    int usage(const QString& problem);

    ConnectionSettings& settings() { return m_settings; }
    // --connections N: the queue's workers (1 to 10).
    int connections() const { return m_connections; }
    // --retries N and --retry-delay SECONDS.
    RetrySettings retry() const { return m_retry; }
    QStringList& operands() { return m_operands; }
    // NAME... as selected rows: a NAME ending in "/" is a folder.
    static QList<SelectedRow> rowsOf(const QStringList& names);

    // Connects as the connect command does (its history lines are printed; a host key not trusted
    // gives a red one) and changes into remoteFolder (relative to where the connect starts: "/", or
    // the SFTP log-in folder), then runs job with the folder as the server names it;
    // prints the history lines. The exit code: 1 when the connect failed, else succeeded(result) ? 0 : 1.
    template <typename Result>
    int run(const QString& remoteFolder, std::function<Result(JobContext&, const QString& folder)> job,
            std::function<bool(const Result&)> succeeded);

    QTextStream& err() { return m_err; }

    // Runs items through a transfer queue (its store in a temporary folder) with connections()
    // workers, each with a connection of its own, as the program does; prints their history
    // lines. How many files arrived and how many items failed.
    struct QueueCounts {
        int files = 0;
        int failed = 0;
    };
    QueueCounts runQueue(QList<TransferItem> items);

private:
    bool takeRetryOption(QStringList& rest, QString& problem);
    void prepare(SessionRunner& runner);
    int finish(bool connected, const QString& connectError, bool succeeded);
    static void connectInto(SessionRunner& runner, const ConnectionSettings& settings, const QString& remoteFolder,
                            std::shared_ptr<QString> folder, std::function<void(QString)> done);

    const char* m_name;
    QString m_operandsUsage;
    QString m_optionsUsage;
    QTextStream m_out;
    QTextStream m_err;
    ConnectionSettings m_settings;
    TlsOptions m_tls;
    RetrySettings m_retry;
    SshOptions m_ssh;
    QStringList m_operands;
    int m_connections = 1;
};

template <typename Result>
int JobCommand::run(const QString& remoteFolder, std::function<Result(JobContext&, const QString& folder)> job,
                    std::function<bool(const Result&)> succeeded)
{
    SessionRunner runner{makeSession};
    prepare(runner);
    auto folder = std::make_shared<QString>();
    QString connectError;
    Result result{};
    bool ended = false;
    connectInto(runner, m_settings, remoteFolder, folder, [&connectError](QString error) { connectError = std::move(error); });
    runner.start<Result>(
        [job, folder](JobContext& context) { return folder->isEmpty() ? Result{} : job(context, *folder); },
        [&](Result done) {
            result = std::move(done);
            ended = true;
        });
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return finish(connectError.isEmpty(), connectError, succeeded(result));
}
