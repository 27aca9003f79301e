#pragma once

#include <QStyledItemDelegate>

// Draws a two-line name cell: the display text elided in the middle followed by its tags, and
// under it the second line in a smaller, secondary text, also elided in the middle.
class NameCell : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;

    // The font of the second line, derived from the cell's font.
    [[nodiscard]] static QFont captionFont(const QFont& base);
    // The height of a two-line cell in the font.
    [[nodiscard]] static int rowHeight(const QFont& base);
};
