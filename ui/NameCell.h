#pragma once

#include "ui/Tag.h"

#include <QList>
#include <QRect>
#include <QStyledItemDelegate>

// Draws a two-line name cell: the display text elided in the middle followed by its tags, and
// under it the second line in a smaller, secondary text, also elided in the middle. A tag with a
// tooltip shows it when the pointer rests on the tag.
class NameCell : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // Where the first line of a cell goes: the elided name and each tag's box.
    struct Layout
    {
        QString name;
        QRect nameRect;
        QList<Tag> tags;
        QList<QRect> tagRects;
    };
    [[nodiscard]] static Layout layoutOf(const QStyleOptionViewItem& option,
                                         const QModelIndex& index);

    // The font of the second line, derived from the cell's font.
    [[nodiscard]] static QFont captionFont(const QFont& base);
    // The height of a two-line cell in the font.
    [[nodiscard]] static int rowHeight(const QFont& base);
};
