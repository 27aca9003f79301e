#pragma once

#include "SourceScan.h"

#include <QSet>
#include <QString>
#include <QStringList>

// Caches of AI coding assistants.
namespace CodingCacheScanner {

[[nodiscard]] SourceScan scan();

} // namespace CodingCacheScanner
