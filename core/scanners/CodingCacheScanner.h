#pragma once

#include "model/SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Caches of AI coding assistants and of machine-learning libraries.
namespace CodingCacheScanner {

// One entry per cache folder, or per project sub-folder of a per-project cache, holding more
// than 99,999 bytes. A cache folder that is itself a symbolic link gives no entry.
[[nodiscard]] SourceScan scan();
// The cache folders that are present (existing, and not symbolic links), in table order.
[[nodiscard]] QStringList folders();

} // namespace CodingCacheScanner
