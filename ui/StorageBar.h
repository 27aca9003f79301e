#pragma once

#include "model/ModelSource.h"

#include <QList>
#include <QWidget>
#include <utility>

// The capsule-shaped bar of the storage header: one gradient segment per source, left to
// right, 2 px apart, each with the tooltip "{label}: {size}".
class StorageBar : public QWidget
{
    Q_OBJECT

public:
    using Segment = std::pair<ModelSource, qint64>;

    explicit StorageBar(QWidget* parent = nullptr);

    void setSegments(QList<Segment> segments, qint64 totalBytes);
    // Widths of the segments in a bar of the width: each its share of the room left by the gaps
    // (of a total below 1 taken as 1), but at least 3 px.
    [[nodiscard]] static QList<qreal> widths(const QList<Segment>& segments, qint64 totalBytes,
                                             qreal width);
    // The tooltip text at the point, empty between segments.
    [[nodiscard]] QString toolTipAt(const QPoint& point) const;

    [[nodiscard]] QSize sizeHint() const override { return {200, 10}; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] QList<QRectF> rects() const;

    QList<Segment> m_segments;
    qint64 m_total = 0;
};
