#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QMetaType>
#include <QPoint>
#include <QSize>
#include <QString>

class QPainter;

// A short label on a tinted rounded rectangle, drawn beside a name ("Q4_K_M", "DUPLICATE").
class Tag
{
public:
    Tag() = default;
    Tag(QString text, QColor tint, QString toolTip = {})
        : m_text(std::move(text)), m_tint(tint), m_toolTip(std::move(toolTip))
    {}

    [[nodiscard]] const QString& text() const { return m_text; }
    [[nodiscard]] const QColor& tint() const { return m_tint; }
    // Shown when the pointer rests on the tag; empty for none.
    [[nodiscard]] const QString& toolTip() const { return m_toolTip; }

    // The smaller, semibold font of the text, derived from the cell's font.
    [[nodiscard]] static QFont font(const QFont& base);
    [[nodiscard]] QSize size(const QFont& base) const;
    struct Colors
    {
        QColor fill; // opaque, the tint over the background
        QColor ink;  // the text
    };
    // The colours the tag is drawn in over the background. On a selected row's highlight the
    // text keeps at least 4.5:1 contrast against the fill.
    [[nodiscard]] Colors colorsOn(const QColor& background, bool highlighted) const;
    // Draws the tag with its top-left corner at the point, over the background.
    void paint(QPainter& painter, const QPoint& topLeft, const QFont& base,
               const QColor& background, bool highlighted) const;

    friend bool operator==(const Tag&, const Tag&) = default;

private:
    QString m_text;
    QColor m_tint;
    QString m_toolTip;
};

Q_DECLARE_METATYPE(Tag)
