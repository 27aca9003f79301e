#pragma once

#include <QPoint>
#include <memory>

class QAbstractItemView;
class QContextMenuEvent;
class QKeyEvent;
class QMenu;

// Context menus of the item views from the keyboard as well as the mouse: the Menu key and
// Shift+F10 open the menu of the current row, placed on that row.
namespace ContextMenuKeys {

// Opens the view's context menu for the Menu key and Shift+F10; true when the key was one.
bool handle(QAbstractItemView& view, const QKeyEvent& event);
// Where in the viewport the menu acts: the pointer, or the current row for the keyboard.
[[nodiscard]] QPoint pointOf(const QAbstractItemView& view, const QContextMenuEvent& event);
// Shows the menu at the global point without waiting for it; it deletes itself when closed.
void popup(std::unique_ptr<QMenu> menu, const QPoint& globalPosition);

} // namespace ContextMenuKeys
