#include "ui/Tag.h"

#include "ui/Fonts.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int padX = 5;
constexpr int padY = 1;
constexpr qreal radius = 4;
} // namespace

QFont Tag::font(const QFont& base)
{
    return Fonts::tag(base);
}

QSize Tag::size(const QFont& base) const
{
    const QFontMetrics metrics(font(base));
    return {metrics.horizontalAdvance(m_text) + 2 * padX, metrics.height() + 2 * padY};
}

void Tag::paint(QPainter& painter, const QPoint& topLeft, const QFont& base) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect box(topLeft, size(base));
    QColor fill = m_tint;
    fill.setAlphaF(0.14F);
    QPainterPath path;
    path.addRoundedRect(QRectF(box), radius, radius);
    painter.fillPath(path, fill);
    painter.setFont(font(base));
    painter.setPen(m_tint);
    painter.drawText(box, Qt::AlignCenter, m_text);
    painter.restore();
}
