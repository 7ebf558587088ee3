#pragma once

#include <QDropEvent>

// An item view that takes every drop as a copy. A file manager may propose to move what it drags;
// a source told that its files were moved deletes them, and a transfer never removes its source.
// A drag that cannot be copied is refused.
template <typename View>
class CopyDropView : public View
{
public:
    using View::View;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (refuseUncopyable(event))
            return;
        View::dragEnterEvent(event);
        asCopy(event);
    }

    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (refuseUncopyable(event))
            return;
        View::dragMoveEvent(event);
        asCopy(event);
    }

    void dropEvent(QDropEvent* event) override
    {
        if (refuseUncopyable(event))
            return;
        View::dropEvent(event);
        asCopy(event);
    }

private:
    static bool refuseUncopyable(QDropEvent* event)
    {
        if (event->possibleActions() & Qt::CopyAction)
            return false;
        event->ignore();
        return true;
    }

    static void asCopy(QDropEvent* event)
    {
        if (!event->isAccepted())
            return;
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
};
