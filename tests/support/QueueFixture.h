#pragma once

#include "ItemTransfer.h"
#include "JobRunner.h"
#include "QueueProcessor.h"
#include "TransferLedger.h"
#include "TransferQueue.h"

#include <functional>
#include <memory>

// A transfer queue in memory for the tests of the panes and their commands: its items run on
// workers the test makes (an InlineJobRunner on the in-memory server, or a SessionRunner on a real
// one), one at a time, so that the history keeps the order of the items.
struct QueueFixture {
    explicit QueueFixture(std::function<std::unique_ptr<JobRunner>()> makeWorker)
        : processor(queue, {std::move(makeWorker), [ledger = ledger] { return ItemTransfer::makeJob(ledger); },
                            &ItemTransfer::removePartialFile})
    {
        queue.setParallel(1);
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
