#include "JobCommand.h"

#include "ConnectionJobs.h"
#include "ItemTransfer.h"
#include "QueueProcessor.h"
#include "RemoteOperations.h"
#include "SessionMaker.h"
#include "TextCatalogue.h"
#include "TransferLedger.h"
#include "TransferQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

JobCommand::JobCommand(const char* name, QString operands, QString options)
    : m_name(name)
    , m_operandsUsage(std::move(operands))
    , m_optionsUsage(std::move(options))
    , m_out(stdout)
    , m_err(stderr)
{
}

int JobCommand::usage(const QString& problem)
{
    m_err << "ftpbench " << m_name << ": " << problem << "\n"
          << "usage: ftpbench " << m_name << " [--passive] " << TlsOptions::usage() << ' ' << SshOptions::usage()
          << (m_optionsUsage.isEmpty() ? QString() : QLatin1Char(' ') + m_optionsUsage) << " HOST PORT USER PASS "
          << m_operandsUsage << "\n"
          << "       a NAME ending in \"/\" is a folder\n"
          << "       --retries N (0 to 10, 2 by default), --retry-delay SECONDS (5 by default): how a transfer\n"
          << "       that broke is tried again; a download goes on from the partial file an earlier run left\n";
    if (m_name == QByteArrayView("download") || m_name == QByteArrayView("upload"))
        m_err << "       --connections N: the transfers run on N connections at once (1 to 10; 1 by default)\n";
    m_err.flush();
    return 2;
}

bool JobCommand::parse(const QStringList& arguments, int minimumOperands, const ExtraOption& extraOption)
{
    QStringList rest = arguments;
    while (!rest.isEmpty() && rest.first().startsWith(QLatin1String("--"))) {
        bool handled = false;
        QString problem;
        if (!m_tls.take(rest, m_settings, handled, problem) || (!handled && !m_ssh.take(rest, m_settings, handled, problem))) {
            usage(problem);
            return false;
        }
        if (handled)
            continue;
        if (rest.first() == QLatin1String("--connections")) {
            rest.removeFirst();
            bool number = false;
            m_connections = rest.isEmpty() ? 0 : rest.takeFirst().toInt(&number);
            if (!number || m_connections < TransferQueue::minimumParallel || m_connections > TransferQueue::maximumParallel) {
                usage(QStringLiteral("--connections takes a number from 1 to 10"));
                return false;
            }
            continue;
        }
        if (takeRetryOption(rest, problem)) {
            if (!problem.isEmpty()) {
                usage(problem);
                return false;
            }
            continue;
        }
        if (rest.first() == QLatin1String("--passive")) {
            m_settings.ftp.passive = true;
            rest.removeFirst();
            continue;
        }
        if (extraOption && extraOption(rest, problem)) {
            if (!problem.isEmpty()) {
                usage(problem);
                return false;
            }
            continue;
        }
        usage(QStringLiteral("unknown option %1").arg(rest.first()));
        return false;
    }
    if (rest.size() < 4 + minimumOperands) {
        usage(QStringLiteral("missing arguments"));
        return false;
    }
    m_settings.host = rest.takeFirst();
    m_settings.port = rest.takeFirst();
    m_settings.user = rest.takeFirst();
    m_settings.password = rest.takeFirst();
    m_operands = rest;
    return true;
}

bool JobCommand::takeRetryOption(QStringList& rest, QString& problem)
{
    const bool retries = rest.first() == QLatin1String("--retries");
    if (!retries && rest.first() != QLatin1String("--retry-delay"))
        return false;
    rest.removeFirst();
    bool number = false;
    const int value = rest.isEmpty() ? -1 : rest.takeFirst().toInt(&number);
    const int maximum = retries ? RetrySettings::maximumRetries : RetrySettings::maximumDelaySeconds;
    if (!number || value < 0 || value > maximum)
        problem = QStringLiteral("%1 takes a number from 0 to %2").arg(QLatin1String(retries ? "--retries" : "--retry-delay")).arg(maximum);
    else
        (retries ? m_retry.retries : m_retry.delaySeconds) = value;
    return true;
}

QList<SelectedRow> JobCommand::rowsOf(const QStringList& names)
{
    QList<SelectedRow> rows;
    for (const QString& name : names) {
        if (name.endsWith(QLatin1Char('/')) && name.size() > 1)
            rows.append({name.chopped(1), true});
        else
            rows.append({name, false, -1}); // a size the list would show is not known here
    }
    return rows;
}

void JobCommand::prepare(SessionRunner& runner)
{
    const QString catalogue = QCoreApplication::applicationDirPath() + QStringLiteral("/lang.db");
    TextCatalogue::instance().openCatalogue(catalogue);
    TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
    if (!TextCatalogue::instance().isOpen())
        m_err << "ftpbench " << m_name << ": cannot open " << catalogue << "; texts show as ########\n";
    QObject::connect(&runner, &JobRunner::historyLine, [this](const QString& text, HistoryColour colour) {
        m_out << colourName(colour) << '\t' << text << '\n';
    });
    runner.setMessageHandler([this](const MessageRequest& request) {
        m_err << "message: " << QString(request.text).replace(QLatin1Char('\n'), QLatin1Char(' ')) << '\n';
        m_err.flush();
        return PromptAnswer::Ok;
    });
    runner.setPeerIdentityHandler([this](const PeerIdentity& identity) {
        return identity.hostKey() ? m_ssh.decide(*identity.hostKey(), m_err) : m_tls.decide(identity, m_err);
    });
}

void JobCommand::connectInto(SessionRunner& runner, const ConnectionSettings& settings, const QString& remoteFolder,
                             std::shared_ptr<QString> folder, std::function<void(QString)> done)
{
    // As the user would: connect, go to the folder; the job starts there.
    runner.start<QString>(
        [settings, remoteFolder, folder](JobContext& context) {
            RemoteOperations& session = context.session();
            if (ConnectionJobs::connect(context, settings, ConnectVariant::Menu) && session.setDir(remoteFolder))
                *folder = session.currentDir();
            if (!folder->isEmpty())
                return QString();
            return session.lastError().isEmpty() ? QStringLiteral("cannot change to %1").arg(remoteFolder)
                                                 : session.lastError();
        },
        std::move(done));
}

int JobCommand::finish(bool connected, const QString& connectError, bool succeeded)
{
    m_out.flush();
    if (!connected) {
        m_err << "ftpbench " << m_name << ": " << connectError << '\n';
        return 1;
    }
    return succeeded ? 0 : 1;
}

JobCommand::QueueCounts JobCommand::runQueue(QList<TransferItem> items)
{
    QueueCounts counts;
    if (items.isEmpty())
        return counts;
    QElapsedTimer clock;
    clock.start();
    // The program keeps its queue on disk as it works; so does the benchmark.
    QTemporaryDir storeFolder;
    TransferQueue queue;
    queue.open(storeFolder.filePath(QStringLiteral("queue.sqlite3")));
    queue.setParallel(m_connections);
    auto ledger = std::make_shared<TransferLedger>();
    QueueProcessor::Work work;
    work.makeWorker = [this] {
        auto worker = std::make_unique<SessionRunner>(makeSession);
        worker->setPeerIdentityHandler([this](const PeerIdentity& identity) {
            return identity.hostKey() ? m_ssh.decide(*identity.hostKey(), m_err) : m_tls.decide(identity, m_err);
        });
        return std::unique_ptr<JobRunner>(std::move(worker));
    };
    work.makeItemJob = [ledger, retry = m_retry] { return ItemTransfer::makeJob(ledger, retry); };
    QueueProcessor processor(queue, std::move(work));
    QObject::connect(&processor, &QueueProcessor::historyLine, [this](const QString& text, HistoryColour colour) {
        m_out << colourName(colour) << '\t' << text << '\n';
    });
    processor.setNoConnectionNotice([this](const QString& reason) { m_err << "no connection: " << reason << '\n'; });
    bool ended = false;
    QObject::connect(&processor, &QueueProcessor::idle, [&ended] { ended = true; });
    processor.add(std::move(items), m_settings.password);
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for (const TransferItem& item : queue.items()) {
        if (item.state != TransferState::Done)
            ++counts.failed;
        else if (!item.isFolder)
            ++counts.files;
    }
    m_out.flush();
    m_err << "queue of " << queue.items().size() << " items ran in " << clock.elapsed() << " ms\n";
    return counts;
}
