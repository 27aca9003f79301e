#pragma once

#include <string>
#include <string_view>

// Byte-level helpers for paths met by the walker.
namespace PathBytes {

// Whether the bytes are well-formed UTF-8 (no overlongs, no surrogates, at most U+10FFFF).
[[nodiscard]] bool isValidUtf8(std::string_view bytes) noexcept;

// Pre-order of a walk: paths compared component by component, each component as bytes, so a
// folder comes before everything inside it and siblings sort in byte order.
[[nodiscard]] bool preOrderLess(std::string_view a, std::string_view b) noexcept;

// ".Trash" or ".Trash-" followed by decimal digits: a drive's top-directory Trash.
[[nodiscard]] bool isTrashName(std::string_view name) noexcept;

} // namespace PathBytes
