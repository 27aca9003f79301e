#pragma once

#include <QListView>

// The sidebar's list: the arrow, Home and End keys move between the rows that can be chosen,
// passing over headers, the spacer and the Add Folder row; the Menu key, Shift+F10 and a right
// click ask for the menu of a row.
class SidebarList : public QListView
{
    Q_OBJECT

public:
    using QListView::QListView;

signals:
    // The menu of the row at the global position was asked for.
    void menuRequested(const QModelIndex& index, const QPoint& globalPosition);

protected:
    [[nodiscard]] QModelIndex moveCursor(CursorAction action,
                                         Qt::KeyboardModifiers modifiers) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    [[nodiscard]] bool choosable(int row) const;
};
