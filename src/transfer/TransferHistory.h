#pragma once

#include "HistoryColour.h"

#include <QList>
#include <QPair>
#include <QTimer>
#include <QWidget>

class QGroupBox;
class QMenu;
class QTextEdit;

// The program's action log: coloured lines that only grow until the user clears them.
// Lines are inserted as plain text (a name like "<b>x</b>" shows as typed); each line's colour is a
// character format on its text, so assistive technology can report it.
class TransferHistory : public QWidget
{
    Q_OBJECT

public:
    explicit TransferHistory(QWidget* parent = nullptr);

    // Sets the captions from the text catalogue.
    void retranslate();

    void moveToEnd();
    // Adds text and a line end at the end of the log, whatever the caret position is. Lines that
    // come close together are written together, a moment later (see flush).
    void append(const QString& text, HistoryColour colour = HistoryColour::Black);
    // Writes the lines not yet written now. Every reader of the log gets them.
    void flush() const;
    void clear();
    // Puts the whole log on the clipboard as plain and as rich text; an empty log empties it.
    void copyAll();

    QString plainText() const;
    QTextEdit* textEdit() const;
    QMenu* contextMenu() const { return m_menu; }

private:
    void showContextMenu(const QPoint& position);

    QGroupBox* m_frame;
    QTextEdit* m_text;
    QMenu* m_menu;
    QAction* m_copyAction;
    QAction* m_clearAction;
    // Written one by one, the lines of a queue of small files took more time (a layout and a
    // paint each) than their transfers.
    mutable QList<QPair<QString, HistoryColour>> m_pending;
    mutable QTimer m_flush;
};
