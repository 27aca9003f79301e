#include "ui/StorageBar.h"

#include "text/Format.h"
#include "ui/SourceStyle.h"

#include <QHelpEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace {
constexpr qreal gap = 2;
constexpr qreal narrowest = 3;
} // namespace

StorageBar::StorageBar(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(10);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
}

void StorageBar::setSegments(QList<Segment> segments, qint64 totalBytes)
{
    m_segments = std::move(segments);
    m_total = totalBytes;
    update();
}

QList<qreal> StorageBar::widths(const QList<Segment>& segments, qint64 totalBytes, qreal width)
{
    const qreal total = totalBytes < 1 ? 1.0 : static_cast<qreal>(totalBytes);
    const qreal room = width - gap * static_cast<qreal>(qMax<qsizetype>(0, segments.size() - 1));
    QList<qreal> result;
    for (const Segment& segment : segments)
        result << qMax(narrowest, room * static_cast<qreal>(segment.second) / total);
    return result;
}

QList<QRectF> StorageBar::rects() const
{
    QList<QRectF> result;
    qreal x = 0;
    for (const qreal w : widths(m_segments, m_total, width())) {
        result << QRectF(x, 0, w, height());
        x += w + gap;
    }
    return result;
}

QString StorageBar::toolTipAt(const QPoint& point) const
{
    const QList<QRectF> boxes = rects();
    for (qsizetype i = 0; i < boxes.size(); ++i)
        if (boxes[i].contains(point))
            return tr("%1: %2").arg(m_segments[i].first.label(),
                                    Format::bytes(m_segments[i].second));
    return {};
}

bool StorageBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void StorageBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath capsule;
    capsule.addRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
    painter.setClipPath(capsule);
    const QList<QRectF> boxes = rects();
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        const QColor color = SourceStyle::color(m_segments[i].first);
        QLinearGradient gradient(boxes[i].topLeft(), boxes[i].bottomLeft());
        gradient.setColorAt(0, color.lighter(125));
        gradient.setColorAt(1, color);
        painter.fillRect(boxes[i], gradient);
    }
}
