#pragma once

#include "model/SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Caches of AI coding assistants and of machine-learning libraries.
namespace CodingCacheScanner {

// One entry per cache folder, or per project sub-folder of a per-project cache, holding more
// than 99,999 bytes. A cache folder that a move left as a link is listed as moved (see
// MovedLink), one out of reach whatever its size; any other link gives no entry.
[[nodiscard]] SourceScan scan();
// The cache folders that are present (existing folders, or links a move left), in table order.
[[nodiscard]] QStringList folders();

} // namespace CodingCacheScanner
