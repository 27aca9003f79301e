#pragma once

#include <QString>
#include <initializer_list>
#include <string_view>

// Name and path tests shared by the scanners that report single model files.
namespace ModelFileRules {

// The file name without its last extension (the part from the final dot on). A name whose only
// dot is its first character, or that has none, is returned whole.
[[nodiscard]] QString stem(const QString& fileName);

// Whether the lower-cased name (UTF-8 bytes) ends with one of the extensions, which are given in
// lower case. Names holding non-ASCII characters are lower-cased by Unicode rules first.
[[nodiscard]] bool hasExtension(std::string_view name,
                                std::initializer_list<std::string_view> extensions);

// A name that begins with ".".
[[nodiscard]] inline bool isHidden(std::string_view name)
{
    return !name.empty() && name.front() == '.';
}

// The last component of a path.
[[nodiscard]] QString fileName(const QString& path);

} // namespace ModelFileRules
