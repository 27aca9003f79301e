#include "ui/SidebarList.h"

#include "ui/ContextMenuKeys.h"

#include <QContextMenuEvent>
#include <QKeyEvent>

bool SidebarList::choosable(int row) const
{
    return model()->index(row, 0, rootIndex()).flags().testFlag(Qt::ItemIsSelectable);
}

QModelIndex SidebarList::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const int count = model() ? model()->rowCount(rootIndex()) : 0;
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    int from = current;
    int step = 1;
    switch (action) {
    case MoveUp:
    case MovePrevious:
        step = -1;
        break;
    case MoveDown:
    case MoveNext:
        break;
    case MoveHome:
        from = -1;
        break;
    case MoveEnd:
        from = count;
        step = -1;
        break;
    default: {
        const QModelIndex moved = QListView::moveCursor(action, modifiers);
        if (!moved.isValid() || choosable(moved.row()))
            return moved;
        step = moved.row() < current ? -1 : 1;
        from = moved.row();
        for (int row = from; row >= 0 && row < count; row += step)
            if (choosable(row))
                return model()->index(row, 0, rootIndex());
        step = -step;
    }
    }
    for (int row = from + step; row >= 0 && row < count; row += step)
        if (choosable(row))
            return model()->index(row, 0, rootIndex());
    return currentIndex();
}

void SidebarList::contextMenuEvent(QContextMenuEvent* event)
{
    const QPoint at = ContextMenuKeys::pointOf(*this, *event);
    const QModelIndex index = indexAt(at);
    if (index.isValid())
        emit menuRequested(index, viewport()->mapToGlobal(at));
}

void SidebarList::keyPressEvent(QKeyEvent* event)
{
    if (!ContextMenuKeys::handle(*this, *event))
        QListView::keyPressEvent(event);
}
