#include "ui/Icons.h"

#include "ui/Contrast.h"

#include <QFile>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>

namespace {

QString bundledPath(const QString& name)
{
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

// Draws a monochrome icon in a colour: each pixel's darkness picks the colour, its lightness
// white, so white marks inside a filled shape stay visible. No colour given: the palette's
// text colour at the time of drawing.
class TintEngine : public QIconEngine
{
public:
    TintEngine(QIcon source, std::optional<QColor> color)
        : m_source(std::move(source)), m_color(color)
    {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap image = pixmap(rect.size() * ratio, mode, state);
        image.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, image);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QImage image = m_source.pixmap(size, QIcon::Normal, state)
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32);
        QColor color = m_color.value_or(QGuiApplication::palette().color(QPalette::WindowText));
        // On a selected row: the colour, or the highlight's text colour for an untinted drawing,
        // in a shade that keeps 4.5:1 on the highlight.
        if (mode == QIcon::Selected) {
            const QPalette palette = QGuiApplication::palette();
            color = Contrast::readable(m_color.value_or(palette.color(QPalette::HighlightedText)),
                                       palette.color(QPalette::Highlight));
        }
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.4);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = line[x];
                const int alpha = qAlpha(pixel) * color.alpha() / 255;
                if (alpha == 0)
                    continue;
                // Unpremultiplied lightness of the drawing at this pixel.
                const int light = qGray(qUnpremultiply(pixel));
                const auto mix = [light](int channel) {
                    return (channel * (255 - light) + 255 * light) / 255;
                };
                line[x] = qRgba(mix(color.red()), mix(color.green()), mix(color.blue()), alpha);
            }
        }
        return QPixmap::fromImage(image);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new TintEngine(m_source, m_color); }

private:
    QIcon m_source;
    std::optional<QColor> m_color;
};

QIcon bundled(const QString& name)
{
    const QString path = bundledPath(name);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace

namespace Icons {

QIcon named(const QString& freedesktopName)
{
    if (QIcon::hasThemeIcon(freedesktopName))
        return QIcon::fromTheme(freedesktopName);
    const QIcon drawing = bundled(freedesktopName);
    return drawing.isNull() ? QIcon() : QIcon(new TintEngine(drawing, std::nullopt));
}

QIcon tinted(const QString& freedesktopName, const QColor& color)
{
    const QString symbolic = freedesktopName + QStringLiteral("-symbolic");
    QIcon source =
        QIcon::hasThemeIcon(symbolic) ? QIcon::fromTheme(symbolic) : bundled(freedesktopName);
    return source.isNull() ? QIcon() : QIcon(new TintEngine(std::move(source), color));
}

QIcon app()
{
    return QIcon(bundledPath(QStringLiteral("brimvale")));
}

} // namespace Icons
