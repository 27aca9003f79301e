#pragma once

#include "model/ScanResult.h"

#include <QDateTime>
#include <QString>

// The Markdown inventory of one scan: storage per source and every model, largest first.
namespace ReportBuilder {

// The address the report's footer links to.
[[nodiscard]] QString website();

// The whole document. The date line uses the system locale (English forms where it is C);
// "Modified" cells are told relative to the current clock. No line feed after the last line.
[[nodiscard]] QString markdown(const ScanResult& result, const QDateTime& date);

// Text for a table cell: line breaks become blanks and "|" becomes "\|".
[[nodiscard]] QString cellText(const QString& text);

// A path as a code span in a table cell: escaped as cellText, fenced by one backtick, or by a
// run longer than any inside it, with a blank inside each end, when it holds backticks.
[[nodiscard]] QString codeCell(const QString& text);

} // namespace ReportBuilder
