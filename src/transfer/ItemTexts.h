#pragma once

#include "HistoryColour.h"
#include "TransferItem.h"

#include <QList>
#include <QPair>
#include <QString>

// The history lines of one queue item, worded as the command that queued it words them.
namespace ItemTexts {

using Line = QPair<QString, HistoryColour>;

// The black line before an item's work: a file's start line, or the announcement of a folder
// that is made (a download's refused or unlisted folder is announced like a file).
QString announce(const TransferItem& item);
// The green line of a file that arrived or a folder that was made.
QString succeeded(const TransferItem& item);
// The red line of an item that failed.
QString failed(const TransferItem& item);
// An item the walk refused: its start line and its red line.
QList<Line> refused(const TransferItem& item);

// Why a refused item was not transferred, as the failed tab shows it.
QString refusalReason(TransferRefusal refusal);

} // namespace ItemTexts
