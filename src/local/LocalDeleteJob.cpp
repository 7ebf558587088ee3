#include "LocalDeleteJob.h"

#include "LocalFileOperations.h"
#include "TextCatalogue.h"

#include <algorithm>

namespace {

// Reports progress only when the bar would show a change, so that a tree of many small files
// does not flood the GUI thread.
class ProgressReporter
{
public:
    ProgressReporter(LocalWorker::Context& context, qint64 total)
        : m_context(context)
        , m_total(std::max<qint64>(total, 1))
    {
        m_context.progress(0, m_total);
    }

    void step()
    {
        m_done = std::min(m_done + 1, m_total);
        const qint64 permille = m_done * 1000 / m_total;
        if (permille == m_reported)
            return;
        m_reported = permille;
        m_context.progress(m_done, m_total);
    }

private:
    LocalWorker::Context& m_context;
    qint64 m_total;
    qint64 m_done = 0;
    qint64 m_reported = 0;
};

} // namespace

void deleteLocalEntries(const QStringList& paths, LocalWorker::Context& context)
{
    qint64 total = 0;
    for (const QString& path : paths) {
        const TreeCount count = countTree(path, CountSizes::No, context.cancelFlag());
        total += count.files + count.folders;
    }
    ProgressReporter progress(context, total);
    const std::function<void()> removedOne = [&progress] { progress.step(); };

    for (const QString& path : paths) {
        if (context.isCancelled())
            return;
        // One entry was announced before the question already.
        if (paths.size() > 1)
            context.appendHistory(getText("MSDEL_WILLDELETE1") + QLatin1Char(' ') + path);
        const RemoveOutcome outcome = removeTree(path, removedOne, context.cancelFlag());
        if (context.isCancelled())
            return;
        if (outcome.removed) {
            context.appendHistory(getText("MSDEL_DELSUCC"), HistoryColour::Green);
            continue;
        }
        context.appendHistory(getText("MSDEL_DELFAILED"), HistoryColour::Red);
        context.showError(outcome.failedPath + QStringLiteral("\n\n") + outcome.error);
    }
}
