#pragma once

#include <QStyledItemDelegate>

// Draws a sidebar row: icon, title cut off when too long, and the trailing size in the caption
// size and secondary colour, or the Trash count as a badge; section headers in small bold text.
class SidebarDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;
};
