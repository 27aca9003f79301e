#pragma once

#include "ScanProgress.h"
#include "ScanResult.h"

#include <QStringList>

// A full scan: every source scanner, the merge, unique ids and duplicate marks.
namespace Scanner {

// Runs the seven source scanners side by side, then the loose scanner over what they did not
// claim (when includeLoose), then makes ids unique and marks confirmed duplicates.
[[nodiscard]] ScanResult scanAll(bool includeLoose, const QStringList& customFolders,
                                 ScanProgress* progress = nullptr);

} // namespace Scanner
