#include "ui/NameCell.h"

#include "app/ItemRoles.h"
#include "ui/Fonts.h"
#include "ui/Tag.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {
constexpr int padX = 6;
constexpr int padY = 2;
constexpr int lineGap = 2;
constexpr int tagGap = 5;
} // namespace

QFont NameCell::captionFont(const QFont& base)
{
    return Fonts::caption(base);
}

int NameCell::rowHeight(const QFont& base)
{
    return QFontMetrics(base).height() + QFontMetrics(captionFont(base)).height() + lineGap +
           2 * padY + 4;
}

QSize NameCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QFontMetrics metrics(option.font);
    int width = metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 2 * padX;
    for (const Tag& tag : index.data(ItemRoles::tags).value<QList<Tag>>())
        width += tagGap + tag.size(option.font).width();
    return {width, rowHeight(option.font)};
}

NameCell::Layout NameCell::layoutOf(const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QRect area = option.rect.adjusted(padX, padY, -padX, -padY);
    const QFontMetrics nameMetrics(option.font);
    const QFontMetrics captionMetrics(captionFont(option.font));
    const int top =
        area.top() + (area.height() - nameMetrics.height() - lineGap - captionMetrics.height()) / 2;
    Layout layout;
    layout.tags = index.data(ItemRoles::tags).value<QList<Tag>>();
    int tagsWidth = 0;
    for (const Tag& tag : std::as_const(layout.tags))
        tagsWidth += tagGap + tag.size(option.font).width();
    const int nameRoom = qMax(0, area.width() - tagsWidth);
    layout.name =
        nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, nameRoom);
    layout.nameRect = QRect(area.left(), top, nameRoom, nameMetrics.height());
    int x = area.left() + nameMetrics.horizontalAdvance(layout.name);
    for (const Tag& tag : std::as_const(layout.tags)) {
        x += tagGap;
        const QSize size = tag.size(option.font);
        layout.tagRects.push_back(
            QRect(QPoint(x, layout.nameRect.center().y() - size.height() / 2 + 1), size));
        x += size.width();
    }
    return layout;
}

bool NameCell::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                         const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event != nullptr && event->type() == QEvent::ToolTip) {
        const Layout layout = layoutOf(option, index);
        for (qsizetype i = 0; i < layout.tags.size(); ++i) {
            if (!layout.tags[i].toolTip().isEmpty() && layout.tagRects[i].contains(event->pos())) {
                QToolTip::showText(event->globalPos(), layout.tags[i].toolTip(), view,
                                   layout.tagRects[i]);
                return true;
            }
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

void NameCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette::ColorGroup group =
        option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    const QColor primary =
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    const QColor secondary =
        selected ? primary : option.palette.color(group, QPalette::PlaceholderText);

    const QRect area = option.rect.adjusted(padX, padY, -padX, -padY);
    const QFont caption = captionFont(option.font);
    const QFontMetrics captionMetrics(caption);
    const Layout layout = layoutOf(option, index);

    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(option.font);
    painter->setPen(primary);
    const QRect& nameRect = layout.nameRect;
    painter->drawText(nameRect,
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip | Qt::TextSingleLine,
                      layout.name);
    const QColor background = selected ? option.palette.color(group, QPalette::Highlight)
                                       : option.palette.color(group, QPalette::Base);
    for (qsizetype i = 0; i < layout.tags.size(); ++i)
        layout.tags[i].paint(*painter, layout.tagRects[i].topLeft(), option.font, background,
                             selected);
    painter->setFont(caption);
    painter->setPen(secondary);
    const QString second = captionMetrics.elidedText(index.data(ItemRoles::secondLine).toString(),
                                                     Qt::ElideMiddle, area.width());
    painter->drawText(
        QRect(area.left(), nameRect.bottom() + 1 + lineGap, area.width(), captionMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip | Qt::TextSingleLine, second);
    painter->restore();
}
