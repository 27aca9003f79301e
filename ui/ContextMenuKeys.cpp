#include "ui/ContextMenuKeys.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace ContextMenuKeys {

bool handle(QAbstractItemView& view, const QKeyEvent& event)
{
    const bool menuKey = event.key() == Qt::Key_Menu && event.modifiers() == Qt::NoModifier;
    if (!menuKey && (event.key() != Qt::Key_F10 || event.modifiers() != Qt::ShiftModifier))
        return false;
    const QRect row = view.visualRect(view.currentIndex());
    const QPoint at = row.isValid() ? row.center() : QPoint(0, 0);
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, view.viewport()->mapToGlobal(at));
    QApplication::sendEvent(view.viewport(), &menu);
    return true;
}

QPoint pointOf(const QAbstractItemView& view, const QContextMenuEvent& event)
{
    if (event.reason() != QContextMenuEvent::Keyboard)
        return event.pos();
    const QRect row = view.visualRect(view.currentIndex());
    return row.isValid() ? row.center() : QPoint(-1, -1);
}

void popup(std::unique_ptr<QMenu> menu, const QPoint& globalPosition)
{
    QMenu* shown = menu.release();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    shown->popup(globalPosition);
}

} // namespace ContextMenuKeys
