#pragma once

#include <QColor>

// Contrast of colours as the Web Content Accessibility Guidelines measure it.
namespace Contrast {

// The colour drawn over an opaque background, made opaque.
[[nodiscard]] QColor over(const QColor& top, const QColor& background);
// The ratio of the lighter colour's relative luminance to the darker one's, from 1 to 21.
[[nodiscard]] double ratio(const QColor& a, const QColor& b);
// The preferred colour when it reaches the ratio on the background, else the closest shade of
// it towards black or white that does (black or white when none does).
[[nodiscard]] QColor readable(const QColor& preferred, const QColor& background,
                              double minimum = 4.5);

} // namespace Contrast
