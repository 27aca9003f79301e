#pragma once

#include <QString>

// Rules for the ids of catalogue entries.
namespace EntryIds {

// The id with every control character (line breaks, tabs, NUL, escapes) replaced by "-", so that
// every id can be typed back on a shell line.
[[nodiscard]] QString withoutControlCharacters(QString id);

} // namespace EntryIds
