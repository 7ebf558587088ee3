#pragma once

#include "FolderComparison.h"

#include <QObject>
#include <QTimeZone>

class EntryListModel;
class EntryListView;

// Compares the folders of the two panes while it is on: marks the rows of both lists against each
// other, again after every listing of either side, and hides the identical files when asked.
class PaneComparison : public QObject
{
    Q_OBJECT

public:
    PaneComparison(EntryListModel& local, EntryListView& localView, EntryListModel& remote, EntryListView& remoteView,
                   QObject* parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    void setHideIdentical(bool hide);
    void setCompareBy(CompareBy by);
    // The zone whose wall clock the server's LIST times show; the system's zone by default.
    void setServerZone(const QTimeZone& zone);

private:
    void update();

    EntryListModel& m_local;
    EntryListView& m_localView;
    EntryListModel& m_remote;
    EntryListView& m_remoteView;
    bool m_enabled = false;
    bool m_hideIdentical = false;
    CompareBy m_by = CompareBy::SizeAndTime;
    QTimeZone m_serverZone = QTimeZone::systemTimeZone();
};
