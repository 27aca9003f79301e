#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Icons by their freedesktop.org names. The desktop's icon theme is asked first; a drawing
// bundled with the program stands in when the theme has none, so every icon shows on a bare
// machine. Bundled drawings take the palette's text colour, so they read on dark themes too.
namespace Icons {

// The theme's icon of that name, else the bundled drawing; an empty icon for an unknown name.
[[nodiscard]] QIcon named(const QString& freedesktopName);
// The icon in one colour (dark parts take the colour, white marks stay white): the theme's
// "-symbolic" variant, else the bundled drawing.
[[nodiscard]] QIcon tinted(const QString& freedesktopName, const QColor& color);
// Brimvale's own application icon.
[[nodiscard]] QIcon app();

} // namespace Icons
