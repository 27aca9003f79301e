#pragma once

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

// The fixed colours of the program (sources, warnings, success); everything else comes from the
// desktop's palette.
namespace Palette {

inline const QColor indigo{0x58, 0x56, 0xD6};
inline const QColor purple{0xAF, 0x52, 0xDE};
inline const QColor orange{0xFF, 0x95, 0x00};
inline const QColor pink{0xFF, 0x2D, 0x55};
inline const QColor teal{0x30, 0xB0, 0xC7};
inline const QColor blue{0x00, 0x7A, 0xFF};
inline const QColor green{0x34, 0xC7, 0x59};
inline const QColor brown{0xA2, 0x84, 0x5E};
inline const QColor red{0xFF, 0x3B, 0x30};
inline const QColor yellow{0xD4, 0xA1, 0x06};
inline const QColor mint{0x00, 0xB8, 0xA9};
inline const QColor cyan{0x32, 0xAD, 0xE6};
inline const QColor navy{0x2C, 0x4A, 0x9E};
inline const QColor crimson{0xC2, 0x18, 0x4B};
inline const QColor magenta{0xD0, 0x3C, 0xC4};
inline const QColor violet{0x7A, 0x4D, 0xC9};
inline const QColor olive{0x7C, 0x8C, 0x1C};
inline const QColor slate{0x5E, 0x72, 0x86};

// Secondary text (dates, sizes, the safe mark) in the application's palette, light or dark.
[[nodiscard]] inline QColor secondaryText()
{
    return QGuiApplication::palette().color(QPalette::PlaceholderText);
}

} // namespace Palette
