#pragma once

#include "ItemTransfer.h"
#include "JobRunner.h"
#include "QueueProcessor.h"
#include "TransferLedger.h"
#include "TestHelpers.h"
#include "TransferQueue.h"

#include <QSignalSpy>

#include <algorithm>

#include <functional>
#include <memory>

// A transfer queue in memory for the tests of the panes and their commands: its items run on
// workers the test makes (an InlineJobRunner on the in-memory server, or a SessionRunner on a real
// one), one at a time, so that the history keeps the order of the items.
struct QueueFixture {
    explicit QueueFixture(std::function<std::unique_ptr<JobRunner>()> makeWorker)
        : processor(queue, {std::move(makeWorker), [ledger = ledger] { return ItemTransfer::makeJob(ledger); }})
    {
        queue.setParallel(1);
    }

    // Runs items on the queue and waits until nothing runs any more; false when that took too long.
    bool run(QList<TransferItem> items, const QString& password)
    {
        QSignalSpy idle(&processor, &QueueProcessor::idle);
        processor.add(std::move(items), password);
        return idle.size() > 0 || idle.wait(jobTimeout);
    }
    // How many items are in state, among the files or among the folders.
    int count(bool folders, TransferState state) const
    {
        return static_cast<int>(std::count_if(queue.items().cbegin(), queue.items().cend(), [&](const TransferItem& item) {
            return item.isFolder == folders && item.state == state;
        }));
    }

    // What the panes' environments hand their items to.
    QueueTransfers transfers()
    {
        return [this](QList<TransferItem> items, const QString& password, std::function<void()> done) {
            processor.add(std::move(items), password, std::move(done));
        };
    }

    std::shared_ptr<TransferLedger> ledger = std::make_shared<TransferLedger>();
    TransferQueue queue;
    QueueProcessor processor;
};
