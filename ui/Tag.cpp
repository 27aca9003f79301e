#include "ui/Tag.h"

#include "ui/Contrast.h"
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

Tag::Colors Tag::colorsOn(const QColor& background, bool highlighted) const
{
    QColor wash = m_tint;
    wash.setAlphaF(0.14F);
    const QColor fill = Contrast::over(wash, background);
    return {fill, highlighted ? Contrast::readable(m_tint, fill) : m_tint};
}

void Tag::paint(QPainter& painter, const QPoint& topLeft, const QFont& base,
                const QColor& background, bool highlighted) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect box(topLeft, size(base));
    const Colors colors = colorsOn(background, highlighted);
    QPainterPath path;
    path.addRoundedRect(QRectF(box), radius, radius);
    painter.fillPath(path, colors.fill);
    painter.setFont(font(base));
    painter.setPen(colors.ink);
    painter.drawText(box, Qt::AlignCenter, m_text);
    painter.restore();
}
