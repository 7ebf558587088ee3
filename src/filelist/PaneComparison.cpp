#include "PaneComparison.h"

#include "EntryListModel.h"
#include "EntryListView.h"

namespace {

// The identical files; folders stay, so that the user can go on looking inside them.
QList<int> identicalFiles(const EntryListModel& model, const QList<EntryMark>& marks)
{
    QList<int> rows;
    for (int row = 0; row < marks.size(); ++row) {
        if (marks[row] == EntryMark::Identical && !model.rows()[row].isFolderLike())
            rows.append(row);
    }
    return rows;
}

} // namespace

PaneComparison::PaneComparison(EntryListModel& local, EntryListView& localView, EntryListModel& remote,
                               EntryListView& remoteView, QObject* parent)
    : QObject(parent)
    , m_local(local)
    , m_localView(localView)
    , m_remote(remote)
    , m_remoteView(remoteView)
{
    // After the views have shown the new rows (they are connected first).
    connect(&m_local, &QAbstractItemModel::modelReset, this, &PaneComparison::update);
    connect(&m_remote, &QAbstractItemModel::modelReset, this, &PaneComparison::update);
}

void PaneComparison::setEnabled(bool enabled)
{
    m_enabled = enabled;
    update();
}

void PaneComparison::setHideIdentical(bool hide)
{
    m_hideIdentical = hide;
    update();
}

void PaneComparison::setCompareBy(CompareBy by)
{
    m_by = by;
    update();
}

void PaneComparison::setServerZone(const QTimeZone& zone)
{
    m_serverZone = zone;
    update();
}

void PaneComparison::update()
{
    if (!m_enabled) {
        m_local.setMarks({});
        m_remote.setMarks({});
        m_localView.setHiddenRows({});
        m_remoteView.setHiddenRows({});
        return;
    }
    FolderComparison::FolderMarks marks = FolderComparison::compareFolders(m_local.rows(), m_remote.rows(), m_by, m_serverZone);
    m_localView.setHiddenRows(m_hideIdentical ? identicalFiles(m_local, marks.local) : QList<int>());
    m_remoteView.setHiddenRows(m_hideIdentical ? identicalFiles(m_remote, marks.remote) : QList<int>());
    m_local.setMarks(std::move(marks.local));
    m_remote.setMarks(std::move(marks.remote));
}
