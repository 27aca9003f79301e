#include "ui/SidebarDelegate.h"

#include "app/SidebarRoles.h"
#include "ui/Fonts.h"

#include <QApplication>
#include <QPainter>

void SidebarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    // The Add Folder row is drawn by its button.
    if (index.data(SidebarRoles::addFolder).toBool())
        return;
    QStyleOptionViewItem base = option;
    initStyleOption(&base, index);
    const QString trailing = index.data(SidebarRoles::trailing).toString();
    const bool header = index.data(SidebarRoles::header).toBool();
    painter->save();
    if (header) {
        QFont font = Fonts::caption(option.font);
        font.setBold(true);
        painter->setFont(font);
        QColor color = option.palette.color(QPalette::WindowText);
        color.setAlphaF(0.6);
        painter->setPen(color);
        painter->drawText(option.rect.adjusted(10, 0, -8, -3), Qt::AlignLeft | Qt::AlignBottom,
                          base.text);
        painter->restore();
        return;
    }
    // The background and selection from the style, then our own contents.
    const QString title = base.text;
    const QIcon icon = base.icon;
    base.text.clear();
    base.icon = QIcon();
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &base, painter, option.widget);

    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette::ColorGroup group =
        option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    const QColor text =
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QRect area = option.rect.adjusted(10, 0, -10, 0);
    const int side = 16;
    icon.paint(painter, QRect(area.left(), area.center().y() - side / 2 + 1, side, side),
               Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);
    area.setLeft(area.left() + side + 8);

    if (!trailing.isEmpty()) {
        const bool badge = index.data(SidebarRoles::badge).toBool();
        const QFont font = Fonts::caption(option.font);
        const QFontMetrics metrics(font);
        painter->setFont(font);
        const int width = metrics.horizontalAdvance(trailing);
        if (badge) {
            const int pillWidth = qMax(width + 12, metrics.height() + 4);
            const QRect pill(area.right() - pillWidth, area.center().y() - metrics.height() / 2 - 1,
                             pillWidth, metrics.height() + 2);
            QColor fill = option.palette.color(QPalette::WindowText);
            fill.setAlphaF(0.15);
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(Qt::NoPen);
            painter->setBrush(fill);
            painter->drawRoundedRect(pill, pill.height() / 2.0, pill.height() / 2.0);
            painter->setPen(text);
            painter->drawText(pill, Qt::AlignCenter, trailing);
            area.setRight(pill.left() - 6);
        } else {
            QColor secondary = text;
            secondary.setAlphaF(selected ? 0.85 : 0.6);
            painter->setPen(secondary);
            painter->drawText(area, Qt::AlignRight | Qt::AlignVCenter, trailing);
            area.setRight(area.right() - width - 6);
        }
    }
    painter->setFont(option.font);
    painter->setPen(text);
    const QString shown = QFontMetrics(option.font).elidedText(title, Qt::ElideRight, area.width());
    painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    painter->restore();
}

QSize SidebarDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int line = QFontMetrics(option.font).height();
    if (index.data(SidebarRoles::addFolder).toBool())
        return {0, line + 14};
    if (index.data(SidebarRoles::header).toBool())
        return {0, index.data(Qt::DisplayRole).toString().isEmpty() ? 10 : line + 12};
    return {0, line + 10};
}
