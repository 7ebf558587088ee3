#pragma once

#include "HistoryColour.h"

#include <QObject>
#include <QString>

#include <functional>

class LocalPane;
class RemotePane;

// Synchronized browsing: pairs the folders the two panes show. While it is on, a change of folder
// on one side (entering a folder, going up, or any other way) takes the other side to the folder
// at the same place relative to the pair (pairedFolder). Where that side lacks the folder, it goes
// off and the history says why.
class SyncBrowsing : public QObject
{
    Q_OBJECT

public:
    using AppendHistory = std::function<void(const QString& text, HistoryColour colour)>;

    SyncBrowsing(LocalPane& local, RemotePane& remote, AppendHistory appendHistory, QObject* parent = nullptr);

    bool isOn() const { return m_on; }
    // On: pairs the folders shown now (the server must show one). Off: ends the pairing.
    void setOn(bool on);

Q_SIGNALS:
    // It went off by itself, or could not go on; the history says why.
    void switchedOff();

private:
    void localListed(const QString& folder);
    void remoteListed();
    void stop(const char* reasonKey, const QString& folder);

    LocalPane& m_local;
    RemotePane& m_remote;
    AppendHistory m_appendHistory;
    bool m_on = false;
    // The pair, and the folders each side showed last (without a trailing "/", except "/").
    QString m_pairLocal;
    QString m_pairRemote;
    QString m_localShown;
    QString m_remoteShown;
    // The server folder the remote pane was sent to, until its listing shows it.
    QString m_remoteExpected;
};
