#include "AsciiList.h"
#include "ConnectionJobs.h"
#include "EntryListModel.h"
#include "FtpServerFixture.h"
#include "JobContext.h"
#include "LocalActions.h"
#include "LocalCommands.h"
#include "LocalPane.h"
#include "NameLists.h"
#include "ScriptedPrompter.h"
#include "SessionRunner.h"
#include "TextCatalogue.h"
#include "UploadAsDialog.h"
#include "UploadCommands.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

// The upload commands of the local pane, from the action to the server and back to the remote
// pane's listing, against a real server.
class UploadCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        TextCatalogue::instance().openCatalogue(QStringLiteral(LANG_DB_PATH));
        TextCatalogue::instance().setChosenTable(QStringLiteral("deutsch"));
        QVERIFY(AsciiList::save(strings({"HTM"})));
    }

    void init()
    {
        m_local = std::make_unique<QTemporaryDir>();
        m_served = std::make_unique<QTemporaryDir>();
        m_root = m_local->path() + QLatin1Char('/');
        writeFile(m_root + QStringLiteral("file.txt"), "file");
        writeFile(m_root + QStringLiteral("notes.txt"), "a\nb");
        writeFile(m_root + QStringLiteral("Alpha/inside.txt"), "inside");
        QVERIFY(QDir().mkpath(m_served->path() + QStringLiteral("/pub")));

        m_prompter = std::make_unique<ScriptedPrompter>();
        m_runner = std::make_unique<SessionRunner>();
        connect(m_runner.get(), &JobRunner::historyLine, this,
                [this](const QString& text, HistoryColour colour) { m_lines.append(colourName(colour) + QLatin1Char('\t') + text); });
        m_pane = std::make_unique<LocalPane>();
        LocalEnvironment environment;
        environment.settings = [this] { return m_settings; };
        environment.remoteFolder = [] { return QStringLiteral("/pub"); };
        environment.refreshRemote = [this] { ++m_refreshes; };
        environment.uploadType = [] { return UploadType{TransferType::Auto, TransferFlag::Binary, {}}; };
        m_actions = new LocalActions(*m_pane, *m_runner, environment, m_pane.get());
        m_pane->changeDrive(m_root);
        m_pane->choosePath(m_root);
        QCOMPARE(m_pane->listedFolder(), m_root);
        m_lines.clear();
        m_refreshes = 0;
    }

    void cleanup()
    {
        m_pane.reset();
        m_runner.reset();
        m_ftp.reset();
        m_prompter.reset();
    }

    void messageInsteadOfTheUpload_data()
    {
        QTest::addColumn<LocalCommand>("command");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QString>("key");
        const QStringList one{QStringLiteral("file.txt")};
        QTest::newRow("main menu and toolbar, no connection") << LocalCommand::Upload << one << "MPUB_NOCONN";
        QTest::newRow("context menu, no connection") << LocalCommand::UploadFromMenu << one << "FRMPULOC_NOCONN";
        QTest::newRow("upload as, no connection") << LocalCommand::UploadAs << one << "FRMPULOC_NOCONN";
        QTest::newRow("upload as, two entries") << LocalCommand::UploadAs << strings({"file.txt", "notes.txt"}) << "FRMPULOC_ONEFILE";
    }

    void messageInsteadOfTheUpload()
    {
        QFETCH(LocalCommand, command);
        QFETCH(QStringList, selected);
        QFETCH(QString, key);
        select(selected);
        m_actions->action(command)->trigger();
        QCOMPARE(m_prompter->messages.size(), 1);
        QCOMPARE(m_prompter->messages[0].text, getText(key.toLatin1().constData()));
        QCOMPARE(m_prompter->messages[0].icon, PromptIcon::Information);
        QVERIFY(!m_runner->isBusy() && !m_pane->findChild<UploadAsDialog*>());
        QVERIFY(m_lines.isEmpty());
        QCOMPARE(m_refreshes, 0);
    }

    void uploadsSendAndListTheServerFolderAgain()
    {
        connectToServer();
        select({QStringLiteral("Alpha"), QStringLiteral("file.txt")});
        QSignalSpy finished(&m_actions->commands().uploads(), &UploadCommands::uploadFinished);
        m_actions->action(LocalCommand::Upload)->trigger();
        QVERIFY(finished.wait(60'000));
        // Upload as: the user's list names HTM, so the new name makes it an ASCII upload.
        select({QStringLiteral("notes.txt")});
        m_actions->action(LocalCommand::UploadAs)->trigger();
        auto* dialog = m_pane->findChild<UploadAsDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        dialog->newNameEdit()->setText(QStringLiteral(" notes.html "));
        dialog->findChild<QPushButton*>(QStringLiteral("cmdUpload"))->click();
        QVERIFY(finished.wait(60'000));

        const QString start = QStringLiteral("black\tAktion: Starte Upload von ");
        const QString done = QStringLiteral("green\t") + getText("MPUB_UPOK");
        QCOMPARE(m_lines, QStringList({QStringLiteral("black\tAktion: Lege Verzeichnis Alpha an"),
                                       QStringLiteral("green\tStatus: Anlegen erfolgreich"), start + m_root + QStringLiteral("file.txt"),
                                       done, start + m_root + QStringLiteral("Alpha/inside.txt"), done,
                                       start + QStringLiteral("notes.txt als notes.html"), done}));
        QCOMPARE(served("pub/file.txt"), QByteArray("file"));
        QCOMPARE(served("pub/Alpha/inside.txt"), QByteArray("inside"));
        QCOMPARE(served("pub/notes.html"), QByteArray("a\r\nb"));
        QCOMPARE(m_refreshes, 2);
        QVERIFY(m_prompter->messages.isEmpty());
    }

private:
    void connectToServer()
    {
        FtpServerFixture::Options options;
        options.rawAscii = true; // the stored files show the line ends that went over the wire
        m_ftp = std::make_unique<FtpServerFixture>(options);
        QVERIFY2(m_ftp->start(m_served->path()), qPrintable(m_ftp->errorText()));
        m_settings = {m_ftp->host(), m_ftp->portText(), FtpServerFixture::user(), FtpServerFixture::password(), true};
        QSignalSpy idle(m_runner.get(), &JobRunner::idle);
        const ConnectionSettings settings = m_settings;
        m_runner->start([settings](JobContext& context) { ConnectionJobs::connect(context, settings, ConnectVariant::Menu); });
        QVERIFY(idle.wait(30'000));
        QVERIFY(m_runner->isConnected());
        m_lines.clear();
    }

    void select(const QStringList& names)
    {
        QItemSelectionModel* selection = m_pane->listView()->selectionModel();
        selection->clearSelection();
        for (const QString& name : names) {
            const QStringList listed = namesOf(m_pane->entries());
            QVERIFY2(listed.contains(name), qPrintable(name));
            selection->select(m_pane->model()->index(static_cast<int>(listed.indexOf(name)), 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        QCOMPARE(m_pane->selectedNames().size(), names.size());
    }

    QByteArray served(const char* path) const { return readFile(m_served->path() + QLatin1Char('/') + QLatin1String(path)); }

    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<QTemporaryDir> m_served;
    QString m_root;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<SessionRunner> m_runner;
    std::unique_ptr<LocalPane> m_pane;
    std::unique_ptr<FtpServerFixture> m_ftp;
    LocalActions* m_actions = nullptr;
    ConnectionSettings m_settings;
    QStringList m_lines;
    int m_refreshes = 0;
};

QTEST_MAIN(UploadCommandsTest)
#include "tst_uploadcommands.moc"
