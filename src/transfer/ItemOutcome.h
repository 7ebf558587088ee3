#pragma once

#include "HistoryColour.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// How the transfer of one queue item ended, as its worker reports it. A default-made outcome is
// that of a job stopped before it began.
struct ItemOutcome {
    enum class End {
        Stopped,      // the user stopped it (or it never began): it waits again
        Done,         // complete
        Failed,       // reason says why
        NoConnection, // the server could not be reached or refused the log-in: it waits again
    };

    End end = End::Stopped;
    QString reason;
    // The item's history lines, in order: those before its transfer began, and those after it; the
    // lines the transfer wrote as it went come between them.
    QList<QPair<QString, HistoryColour>> linesBefore;
    QList<QPair<QString, HistoryColour>> lines;
    // NoConnection because the server's identity was refused: the worker had no answer about it.
    bool identityRefused = false;
    qint64 bytesDone = 0;
    qint64 size = -1; // as learnt during the transfer; -1 when nothing new was learnt
    // What a later resume needs, when a transfer ran: the partial file a download writes, or an
    // upload's temporary name on the server, and the size and time of the file it began from.
    struct Record {
        QString partialPath;
        qint64 sizeAtStart = -1;
        QDateTime timeAtStart;
    };
    std::optional<Record> record;
};
