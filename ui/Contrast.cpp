#include "ui/Contrast.h"

#include <cmath>

namespace Contrast {

namespace {

double channel(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& color)
{
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

QColor mix(const QColor& from, const QColor& to, double amount)
{
    const auto at = [amount](float a, float b) { return a + (b - a) * amount; };
    return QColor::fromRgbF(static_cast<float>(at(from.redF(), to.redF())),
                            static_cast<float>(at(from.greenF(), to.greenF())),
                            static_cast<float>(at(from.blueF(), to.blueF())));
}

} // namespace

QColor over(const QColor& top, const QColor& background)
{
    return mix(background.toRgb(), top.toRgb(), top.alphaF());
}

double ratio(const QColor& a, const QColor& b)
{
    const double x = luminance(a.toRgb());
    const double y = luminance(b.toRgb());
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

QColor readable(const QColor& preferred, const QColor& background, double minimum)
{
    const QColor base = over(preferred, background);
    if (ratio(base, background) >= minimum)
        return base;
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    for (int step = 1; step <= 10; ++step) {
        const QColor darker = mix(base, black, step / 10.0);
        const QColor lighter = mix(base, white, step / 10.0);
        const double dark = ratio(darker, background);
        const double light = ratio(lighter, background);
        if (std::max(dark, light) >= minimum)
            return dark >= light ? darker : lighter;
    }
    return ratio(black, background) >= ratio(white, background) ? black : white;
}

} // namespace Contrast
