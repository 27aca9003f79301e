#pragma once

#include <QColor>

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

} // namespace Palette
