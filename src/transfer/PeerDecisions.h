#pragma once

#include "PeerIdentity.h"

#include <QHash>
#include <QList>
#include <QString>

#include <mutex>
#include <optional>

// The user's answers about servers' identities (certificates, host keys) in this run, shared by
// the browsing connection and the queue's workers, which run on threads of their own. A worker
// never asks: it takes the answer the user gave about the same identity, or refuses it and leaves
// it to be asked about once, on the GUI side.
class PeerDecisions
{
public:
    // Keeps the user's answer; a Cancel is not kept, so that the question can come again.
    void record(const PeerIdentity& identity, TrustDecision decision);
    // A worker's answer: the user's for this identity, else Cancel, and the identity waits to be
    // asked about.
    TrustDecision decideForWorker(const PeerIdentity& identity);
    // A worker met an identity of host and port that the user was not asked about yet.
    bool hasUnasked(const QString& host, quint16 port);
    // An identity of host and port that a worker met and the user was not asked about yet; the
    // others of that host and port are dropped with it.
    std::optional<PeerIdentity> takeUnasked(const QString& host, quint16 port);

private:
    static QString keyOf(const PeerIdentity& identity);
    static QString serverOf(const PeerIdentity& identity);

    std::mutex m_mutex;
    QHash<QString, TrustDecision> m_decisions;
    QList<PeerIdentity> m_unasked;
};
