#include "JobCommand.h"

#include "ConnectionJobs.h"
#include "RemoteOperations.h"
#include "TextCatalogue.h"

#include <QCoreApplication>

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
          << "       a NAME ending in \"/\" is a folder\n";
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

QList<SelectedRow> JobCommand::rowsOf(const QStringList& names)
{
    QList<SelectedRow> rows;
    for (const QString& name : names) {
        if (name.endsWith(QLatin1Char('/')) && name.size() > 1)
            rows.append({name.chopped(1), true});
        else
            rows.append({name, false});
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
