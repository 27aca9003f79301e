#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

// The text forms of sizes, paths and dates used on screen, in toasts and in the report.
namespace Format {

// Decimal units (1 KB = 1,000 bytes) from bytes to EB: "Zero KB", "1 byte", "999 bytes",
// "1 KB", "1.3 MB", "2.47 GB". Rounds half away from zero; a value that rounds to 1000 of a unit
// is given in the next unit; negative counts keep their sign.
[[nodiscard]] QString bytes(qint64 count);

// The locale texts on screen and in the report use: the given one, English (United States)
// where it is C.
[[nodiscard]] QLocale displayLocale(const QLocale& locale = QLocale::system());

// A date and time in full: "March 5, 2026 at 3:04 PM" in English, the locale's long date and
// short time elsewhere.
[[nodiscard]] QString longDate(const QDateTime& date, const QLocale& locale = QLocale::system());

// The path with the home directory (as given, or resolved) replaced by "~".
[[nodiscard]] QString shortPath(const QString& path);

// The text with every path in it that lies inside the home directory in the "~" form (the home
// as given; see shortPath).
[[nodiscard]] QString shortPathsIn(const QString& text);

// "Today", "Yesterday", "3 days ago", "1 week ago", "2 weeks ago", else the locale's month and
// year. An absent date, or one not after 1970, is "—".
[[nodiscard]] QString relativeDate(const std::optional<QDateTime>& date, const QDateTime& now);
// relativeDate() in English whatever the translation, for files written to disk.
[[nodiscard]] QString englishRelativeDate(const std::optional<QDateTime>& date,
                                          const QDateTime& now);

} // namespace Format
