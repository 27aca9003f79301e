#pragma once

#include <QFont>

// The text sizes of the views, derived from the desktop's font so they follow its scaling.
namespace Fonts {

// Slightly smaller than body text: bars, banners, toasts.
[[nodiscard]] inline QFont callout(QFont font)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.92);
    return font;
}

// Small text: sizes beside sidebar rows, the disk footer.
[[nodiscard]] inline QFont caption(QFont font)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.84);
    return font;
}

} // namespace Fonts
