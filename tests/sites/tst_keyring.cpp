#include "Keyring.h"
#include "ScriptedPrompter.h"
#include "SecretScan.h"
#include "SiteBook.h"
#include "SiteManagerDialog.h"
#include "TestHelpers.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// What the Secret Service holds for a site, asked from outside the program; nullopt: nothing.
std::optional<QString> lookup(const QString& id)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), {QStringLiteral("lookup"), QStringLiteral("server"),
                                               QStringLiteral("ftpclient"), QStringLiteral("user"), id});
    if (!tool.waitForFinished(jobTimeout) || tool.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(tool.readAllStandardOutput());
}

} // namespace

// The keyring through QtKeychain against a real Secret Service (gnome-keyring-daemon, started
// with its own bus by with_secret_service.sh).
class KeyringTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useCatalogue("deutsch"); }

    void storeFindRemove()
    {
        const QString id = Site::newId();
        const QString password = QStringLiteral("pw with ü and € ");
        Keyring keyring;
        QSignalSpy stored(&keyring, &Keyring::stored);
        keyring.store(id, password);
        QVERIFY(stored.wait(jobTimeout));
        QCOMPARE(lookup(id), password);

        // Another run: nothing in memory, the keyring answers.
        Keyring next;
        QSignalSpy found(&next, &Keyring::found);
        next.find(id);
        QVERIFY(found.wait(jobTimeout));
        QCOMPARE(found[0], (QVariantList{id, password, true}));
        QSignalSpy removed(&next, &Keyring::removed);
        next.remove(id);
        QVERIFY(removed.wait(jobTimeout));
        QCOMPARE(lookup(id), std::nullopt);
        Keyring third;
        QSignalSpy missing(&third, &Keyring::found);
        third.find(id);
        QVERIFY(missing.wait(jobTimeout));
        QCOMPARE(missing[0], (QVariantList{id, QString(), false}));
        QVERIFY(next.isAvailable() && third.isAvailable());
    }

    // A site saved with its password: the keyring has it, no file has it; deleted, it is gone.
    void siteManagerKeepsPasswordsInTheKeyring()
    {
        ScriptedPrompter prompter;
        QFile::remove(SiteStore().path());
        SiteBook book;
        book.open(nullptr);
        auto dialog = std::make_unique<SiteManagerDialog>(book);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdNewSite"))->click();
        dialog->findChild<QLineEdit*>(QStringLiteral("txtHost"))->setText(QStringLiteral("ftp.example.org"));
        dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("kept-secret"));
        dialog->findChild<QCheckBox*>(QStringLiteral("chkSavePassword"))->setChecked(true);
        QSignalSpy stored(&book.keyring(), &Keyring::stored);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        QVERIFY(stored.wait(jobTimeout));
        const Site site = book.data().root.sites.value(0);
        QCOMPARE(lookup(site.id), QStringLiteral("kept-secret"));
        QCOMPARE(filesHoldingSecrets({QStringLiteral("kept-secret")}), QStringList());

        dialog = std::make_unique<SiteManagerDialog>(book);
        prompter.messageAnswers.enqueue(PromptAnswer::Yes);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdDelete"))->click();
        QSignalSpy removed(&book.keyring(), &Keyring::removed);
        dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        QVERIFY(removed.wait(jobTimeout));
        QCOMPARE(lookup(site.id), std::nullopt);
        QCOMPARE(prompter.messages.size(), 1); // the delete question, no keyring notice
    }
};

QTEST_MAIN(KeyringTest)
#include "tst_keyring.moc"
