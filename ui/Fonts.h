#pragma once

#include <QFont>
#include <QtMath>

// The text sizes of the views, derived from the desktop's font so they follow its scaling.
namespace Fonts {

// The font larger or smaller by the factor, in points, or in pixels for a font sized in pixels.
[[nodiscard]] inline QFont scaled(QFont font, qreal factor)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else if (font.pixelSize() > 0)
        font.setPixelSize(qMax(8, qRound(font.pixelSize() * factor)));
    return font;
}

// The total over the storage bar.
[[nodiscard]] inline QFont figure(const QFont& font)
{
    QFont big = scaled(font, 2.0);
    big.setWeight(QFont::DemiBold);
    return big;
}

// Page titles.
[[nodiscard]] inline QFont title(const QFont& font)
{
    QFont big = scaled(font, 1.3);
    big.setWeight(QFont::Bold);
    return big;
}

// Slightly smaller than body text: bars, banners, toasts.
[[nodiscard]] inline QFont callout(const QFont& font)
{
    return scaled(font, 0.92);
}

// Small text: sizes beside sidebar rows, the disk footer, the second line of a name.
[[nodiscard]] inline QFont caption(const QFont& font)
{
    return scaled(font, 0.84);
}

// The tags beside names.
[[nodiscard]] inline QFont tag(const QFont& font)
{
    QFont small = scaled(font, 0.78);
    small.setWeight(QFont::DemiBold);
    return small;
}

} // namespace Fonts
