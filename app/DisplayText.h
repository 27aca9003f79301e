#pragma once

#include <QString>

namespace DisplayText {

// The text on one line: each control character becomes its visible mark (U+2400 plus the
// code for C0 controls, U+2421 for DEL), other controls and line or paragraph separators
// U+FFFD. Text from outside (names, paths) is shown through it.
[[nodiscard]] QString oneLine(const QString& text);

} // namespace DisplayText
