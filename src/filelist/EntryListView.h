#pragma once

#include <QList>
#include <QPoint>
#include <QStackedWidget>

class EntryListModel;
class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QTreeView;

// A file list in four views over one model and one selection: large icons, small icons and
// list (a QListView) and details (a QTreeView with the five columns). It reports what the user
// does with the rows; what that means is the pane's business.
class EntryListView : public QStackedWidget
{
    Q_OBJECT

public:
    enum class Mode { LargeIcons, SmallIcons, List, Details };

    // controlName is the details view's object name; the icon view is named controlName +
    // "Icons". Starts in the details view.
    EntryListView(EntryListModel* model, const QString& controlName, QWidget* parent = nullptr);

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    // The accessible names of the details view and of the icon view (both views are children of
    // this stack, so the names must differ even while one is hidden) and what both show.
    void setAccessibleTexts(const QString& detailsName, const QString& iconsName, const QString& description);

    // The selected rows in ascending order, each once.
    QList<int> selectedRows() const;
    // The current row, -1 when there is none.
    int currentRow() const;

    // Hides these rows in every view (and shows the rows hidden before); a new listing shows all.
    void setHiddenRows(const QList<int>& rows);

    QTreeView* detailView() const { return m_detailView; }
    QListView* iconView() const { return m_iconView; }
    QItemSelectionModel* selectionModel() const;

Q_SIGNALS:
    // A double click or Enter on a row.
    void rowActivated(int row);
    // Delete and F5 while the list has the focus.
    void deletePressed();
    void refreshPressed();
    // The right mouse button or the menu key, at a global position.
    void contextMenuRequested(const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyIconMode();
    // Widens the size and time columns to their longest text, so that none is cut; a column
    // keeps a larger width.
    void fitTextColumns();
    // Both views start drags of the rows and take drops (the model decides what and where).
    void enableDragAndDrop(QAbstractItemView* view);

    QTreeView* m_detailView = nullptr;
    QListView* m_iconView = nullptr;
    Mode m_mode = Mode::Details;
    QList<int> m_hiddenRows;
};
