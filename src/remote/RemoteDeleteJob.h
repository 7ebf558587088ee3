#pragma once

#include "RemoteOperations.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class JobContext;

// One selected row of the remote list, as the delete needs it.
struct DeleteRow {
    QString name;
    bool isFolder = false; // a folder, or a link the listing says leads to one
    bool isLink = false;
};

// What a delete needs, read on the GUI thread when the command starts.
struct RemoteDeleteRequest {
    QList<DeleteRow> rows;       // in list order
    QString startFolder;         // the folder the rows belong to; empty: the server's current one
    ConnectionSettings settings; // for every re-connection of this delete
    QStringList pathBoxEntries;  // the remote path box, cleaned of folders that are gone
    qsizetype maxWalkEntries = walkEntryLimit; // the walk stops past this many items
};

struct RemoteDeleteResult {
    QStringList gonePaths; // the path box entries that can no longer be entered
    int deleted = 0;
    int failed = 0;        // refused items included
};

// Deletes the selected files and folder trees of the server's folder, on the session thread
// (DeleteRemoteSelection): it walks every selected folder, deletes all files in list order, then
// removes the folders, longer paths first, and returns to the start folder. Every item gets its
// black line and its green or red one.
//
// Nothing outside an item's own folder is ever deleted: every change of folder on the way to an
// item is checked, and the server must then report the very path expected, so an item whose
// folder cannot be reached gets its red line and is left alone. A link is deleted as a link and
// never walked; a name that is "." or "..", or holds "/" or NUL, is never walked or deleted.
//
// No one listing is trusted: before the walk enters a folder, MLST (where the server has it) must
// call it a folder, by a path that ends in its own, and no listing of the walk may have called it
// a link; where the answers disagree, the folder gets its red line and nothing below it is
// touched. The walk stops at maxWalkDepth levels, and past maxWalkEntries items with a red line.
// A folder the walk did not list is never removed.
class RemoteDeleteJob
{
public:
    static constexpr int maxWalkDepth = 64;

    // One item of work: a file (or link) in its folder, or a folder.
    struct Item {
        QString name;   // a file's or link's name; empty for a folder
        QString folder; // a file's folder, ending in "/"; a folder's own path
        bool isFolder = false;
        bool isLink = false;
        bool linkToFolder = false; // the listing says the link leads to a folder: RMD if DELE fails
        bool refused = false;      // never touched: unusable name, too deep, or no folder to start from
        bool unlisted = false;     // a folder not listed, or not trusted to be one: not removed
    };

    RemoteDeleteJob(JobContext& context, RemoteDeleteRequest request);

    // Runs the whole delete; the job is used once.
    RemoteDeleteResult deleteSelection();

    // The items collected and walked, in list order; filled by deleteSelection().
    const QList<Item>& deleteList() const { return m_items; }

private:
    void collectSelection();
    void walkDeleteFolder(qsizetype folderIndex, int depth);
    bool isConfirmedFolder(const QStringList& names);
    void deleteFiles(QList<qsizetype>& folders);
    void removeFolders(QList<qsizetype> folders);
    bool deleteEntry(const Item& item);
    // Changes to "/" and into each of names, checking every step and where the server stands then.
    bool reachFolder(const QStringList& names);
    bool reconnect();
    void report(bool done);
    bool cancelled() const;

    JobContext& m_context;
    RemoteOperations& m_session;
    RemoteDeleteRequest m_request;
    QString m_start;     // as the server reported it
    QString m_startPath; // with "/" at its end; empty when there is no absolute start folder
    QList<Item> m_items;
    RemoteDeleteResult m_result;
    QStringList m_current;     // the folder the server stands in, while m_currentKnown
    bool m_currentKnown = false;
    bool m_connectionGone = false; // a re-connection failed: nothing more is sent
    QSet<QString> m_links;         // the paths a listing of this walk called a link
    bool m_walkStopped = false;    // maxWalkEntries reached: no further folder is listed
};
