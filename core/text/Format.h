#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// The text forms of sizes, paths and dates used on screen, in toasts and in the report.
namespace Format {

// Decimal units (1 KB = 1,000 bytes) from bytes to EB: "Zero KB", "1 byte", "999 bytes",
// "1 KB", "1.3 MB", "2.47 GB". Rounds half away from zero; a value that rounds to 1000 of a unit
// is given in the next unit; negative counts keep their sign.
[[nodiscard]] QString bytes(qint64 count);

// The path with the home directory (as given, or resolved) replaced by "~".
[[nodiscard]] QString shortPath(const QString& path);

// "Today", "Yesterday", "3 days ago", "1 week ago", "2 weeks ago", else the locale's month and
// year. An absent date, or one not after 1970, is "—".
[[nodiscard]] QString relativeDate(const std::optional<QDateTime>& date, const QDateTime& now);

} // namespace Format
