#pragma once

#include "ConnectionSettings.h"
#include "RemoteEnvironment.h"
#include "RemoteFileJobs.h"

#include <QHash>
#include <QObject>
#include <QString>

class CopyWatcher;
class JobRunner;
class QWidget;

// Where an opened copy came from: the server (its connection values, no password), the
// absolute server folder and the file's name there.
struct CopyOrigin {
    ConnectionSettings server;
    QString folder;
    QString name;

    // The subfolder of the private temporary folder that holds copies from this server folder.
    QString subfolder() const;
    QString remotePath() const;
};

// Edit on the server: the copies of remote files opened in other programs are watched until the
// program ends. When a copy's content changes, one question names the file and the server (and
// says so when the file on the server changed since it was opened): Yes sends the copy back
// through the program's upload; No lets this content go. Questions are asked only while the
// connection goes to the server the copy came from; otherwise one red line says why nothing was
// sent, and the next save asks again.
class EditedCopies : public QObject
{
    Q_OBJECT

public:
    // environment.uploadCopy sends a copy back; settings, appendHistory name the connection and
    // the history.
    EditedCopies(JobRunner& runner, RemoteEnvironment environment, QWidget* window);

    // A download of origin's file for opening starts: its copy (when watched) is being replaced,
    // which is no edit.
    void opening(const CopyOrigin& origin);
    // That download ended: localPath is watched from now on with its content as known, state is
    // what the server said of the file; an empty localPath (nothing arrived) only ends opening().
    void opened(const CopyOrigin& origin, const QString& localPath, const RemoteFileJobs::RemoteFileState& state);
    // The copy of origin's file when it holds changes that were not sent back (the question was
    // answered No, or the upload failed, or there was no connection); otherwise empty. A new
    // download for opening would overwrite them.
    QString unsentCopy(const CopyOrigin& origin) const;

private:
    struct Copy {
        CopyOrigin origin;
        QString localPath;
        RemoteFileJobs::RemoteFileState state; // the server's file when opened or last sent
        bool replacing = false;                // a new download is on its way
        bool busy = false;                     // a check, question or upload runs
        bool changedMeanwhile = false;         // the content changed again while busy
        bool unsent = false;                   // changed, and those changes were not sent
    };

    using StateHandler = void (EditedCopies::*)(const QString& key, const RemoteFileJobs::RemoteFileState& now);

    void contentChanged(const QString& localPath);
    void check(const QString& key);
    // Asks the server for the state of the copy's file, then runs next with it.
    void readState(const QString& key, StateHandler next);
    void ask(const QString& key, const RemoteFileJobs::RemoteFileState& now);
    void uploaded(const QString& key, const RemoteFileJobs::RemoteFileState& now);
    void finish(const QString& key);
    bool connectedTo(const ConnectionSettings& server) const;
    void appendHistory(const QString& text, HistoryColour colour);

    JobRunner& m_runner;
    RemoteEnvironment m_environment;
    QWidget* m_window;
    CopyWatcher* m_watcher;
    QHash<QString, Copy> m_copies;      // by remote key
    QHash<QString, QString> m_keyOfPath; // local path -> remote key
};
